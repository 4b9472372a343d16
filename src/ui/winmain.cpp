#include "ui.h"

#include <string.h>

#include "resource.h"
#include "runtime.h"

char AppCaption[100];

namespace {

// Run as administrator from a downloads folder or a CD, the program must not
// load a DLL that someone put beside it or in the current directory: what
// the system loads after the start is looked for only in the system
// directory (Windows 8 and later, Vista and 7 with their update), or at
// least not in the current directory (XP SP1 and later). Looked up, so that
// the program still loads on Windows 2000.
void NarrowDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    auto setDirectory =
        reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory)
        setDirectory("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    NarrowDllSearch();
    static const char Title[] = "Tavorine";
    memcpy(AppCaption, Title, sizeof Title);
    DisableFileVirtualization();

    // Our own module, not the null handle: with the null handle Wine's icon
    // control looks for the About dialog's icon among the system's icons. A
    // wide dialog: an ANSI one passes its templates' texts through the ANSI
    // code page as it makes the controls, which garbles them off 932.
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
    return 0;
}
