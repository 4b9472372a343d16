#include "ui.h"

#include <string.h>

#include "resource.h"

char AppCaption[100];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static const char Title[] = "Tavorine";
    memcpy(AppCaption, Title, sizeof Title);

    // The null module makes the platform take the template from this executable.
    DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
    return 0;
}
