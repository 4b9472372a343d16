/* A stand-in for the runtime libraries, for the tests and the demo: a real
 * 32-bit DLL with one export that says what it is. Nothing in it is Microsoft's.
 * Each copy is labelled by text appended after its last section. */
#include <windows.h>

__declspec(dllexport) const char* TavorineStandIn(void)
{
    return "Tavorine stand-in, not a Microsoft library";
}

BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
