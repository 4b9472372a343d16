#include "test_prefix.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace {

void Refuse(const char* why) {
    fprintf(stderr, "refusing to run: %s\n", why);
    fflush(stderr);
    ExitProcess(2);
}

}  // namespace

void RequireTestPrefix() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version"))
        Refuse("this test program changes the system directory and runs only under Wine");

    char expected[64];
    DWORD len = GetEnvironmentVariableA("TAVORINE_TEST_TOKEN", expected, sizeof expected);
    if (len == 0 || len >= sizeof expected)
        Refuse("no test token: start the tests with scripts/test.sh");

    // The token file lies at the root of drive C: of the prefix made for this run.
    char found[64] = {0};
    FILE* f = fopen("C:\\tavorine-test-prefix", "rb");
    if (f) {
        fread(found, 1, sizeof found - 1, f);
        fclose(f);
    }
    if (strcmp(found, expected) != 0)
        Refuse("this Wine prefix is not the one made for this test run");

    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || _strnicmp(sys, "C:\\", 3) != 0)
        Refuse("the system directory is not on the test prefix's drive C:");
}
