#include "ui.h"

#include <stdio.h>

#include "resource.h"
#include "sjis_text.h"

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        char version[256];
        snprintf(version, sizeof version, "%s ver1.00", AppCaption);
        SetSjisText(GetDlgItem(hwnd, IDC_VERSION), version);
        return TRUE;
    }
    case WM_COMMAND:
        // Only OK closes it; IDCANCEL from Escape is ignored on purpose.
        if (LOWORD(wParam) != IDC_CLOSE)
            return FALSE;
        EndDialog(hwnd, IDC_CLOSE);
        return TRUE;
    case WM_CLOSE:
        EndDialog(hwnd, LOWORD(wParam));
        return FALSE;
    }
    return FALSE;
}
