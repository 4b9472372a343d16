// A program that does nothing but show an empty dialog from a template.
#include <windows.h>

static INT_PTR CALLBACK RefDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(nullptr, MAKEINTRESOURCEA(1), nullptr, RefDlgProc, 0);
    return 0;
}
