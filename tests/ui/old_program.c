/* An old program, as far as one runtime library goes: it imports from MFC71.dll (or, as
 * built, msvcr71.dll or msvcr70.dll), so it starts, and ends with 0, only if the loader
 * finds a usable library of that name, the stand-in: Wine's own has no such export. */
__declspec(dllimport) const char* TavorineStandIn(void);

int main(void) { return TavorineStandIn()[0] == 'T' ? 0 : 1; }
