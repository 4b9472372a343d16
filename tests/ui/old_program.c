/* An old program, as far as the 2003 set goes: it imports from MFC71.dll, so it
 * starts, and ends with 0, only if the loader finds a usable MFC71.dll. */
__declspec(dllimport) const char* TavorineStandIn(void);

int main(void) { return TavorineStandIn()[0] == 'T' ? 0 : 1; }
