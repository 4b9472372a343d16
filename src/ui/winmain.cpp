#include "ui.h"

#include <string.h>

#include "resource.h"
#include "runtime.h"

char AppCaption[100];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    static const char Title[] = "Tavorine";
    memcpy(AppCaption, Title, sizeof Title);
    DisableFileVirtualization();

    // Our own module, not the null handle: with the null handle Wine's icon
    // control looks for the About dialog's icon among the system's icons.
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
    return 0;
}
