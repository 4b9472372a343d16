// The main dialog. This file is compiled with code page 932 as its execution
// character set, so the texts below are stored as Shift-JIS.
#include "ui.h"

#include "resource.h"
#include "runtime.h"
#include "sjis_text.h"

namespace {

const char TextSourcesMissing[] = "コピー元のランタイムファイルが一部、又は全て見つかりません\n\n終了します";
const char TextInstalled[] = "インストールされています";
const char TextNotInstalled[] = "インストールされていません";
const char TextSucceeded[] = "インストールに成功しました";
const char TextFailed[] = "インストールに失敗しました";

struct RuntimeSet {
    int button;
    int status;
    bool (*isInstalled)();
    bool (*install)();
};

const RuntimeSet Sets[] = {
    {IDC_INSTALL_2002, IDC_STATUS_2002, IsRuntime2002Installed, InstallRuntime2002},
    {IDC_INSTALL_2003, IDC_STATUS_2003, IsRuntime2003Installed, InstallRuntime2003},
};

void ShowStatus(HWND hwnd, const RuntimeSet& set) {
    SetSjisText(GetDlgItem(hwnd, set.status), set.isInstalled() ? TextInstalled : TextNotInstalled);
}

void OnInitDialog(HWND hwnd, WPARAM wParam) {
    if (!AreSourceFilesPresent()) {
        SjisMessageBox(hwnd, TextSourcesMissing, AppCaption, MB_OK | MB_ICONWARNING);
        EndDialog(hwnd, LOWORD(wParam));  // destroyed unshown once initialisation ends
    }
    for (const RuntimeSet& set : Sets)
        ShowStatus(hwnd, set);
}

// The file system decides, not the status line: an installed set is left alone.
void OnInstall(HWND hwnd, const RuntimeSet& set) {
    if (set.isInstalled())
        return;
    if (set.install())
        SjisMessageBox(hwnd, TextSucceeded, AppCaption, MB_OK | MB_ICONINFORMATION);
    else
        SjisMessageBox(hwnd, TextFailed, AppCaption, MB_OK | MB_ICONWARNING);
    ShowStatus(hwnd, set);
}

void OnCommand(HWND hwnd, int id) {
    for (const RuntimeSet& set : Sets) {
        if (id == set.button)
            OnInstall(hwnd, set);
    }
    if (id == IDC_CLOSE)
        EndDialog(hwnd, IDC_CLOSE);
    else if (id == IDC_ABOUT)
        DialogBoxParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE)),
                        MAKEINTRESOURCEW(IDD_ABOUT), hwnd, AboutDlgProc, 0);
    // IDOK, IDCANCEL (Escape) and anything else: nothing.
}

}  // namespace

INT_PTR CALLBACK MainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(hwnd, wParam);
        return TRUE;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(hwnd, LOWORD(wParam));
        return FALSE;
    }
    return FALSE;
}
