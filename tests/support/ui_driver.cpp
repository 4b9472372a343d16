#include "ui_driver.h"

#include <string.h>

#include <vector>

#include "files.h"
#include "resource.h"

std::string ProgramPath() { return BuildFile("Tavorine.exe"); }

bool StartApp(App* app, const std::string& currentDir, const std::string& exe) {
    STARTUPINFOA si = {sizeof si};
    std::string cmd = "\"" + exe + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    return CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, currentDir.c_str(), &si,
                          &app->pi) != 0;
}

bool AttachApp(App* app, DWORD waitMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(50)) {
        HWND main = FindWindowA("#32770", "Tavorine");
        DWORD pid = 0;
        if (!main || !GetDlgItem(main, IDC_INSTALL_2002) || !GetWindowThreadProcessId(main, &pid))
            continue;
        app->pi.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
        app->pi.dwProcessId = pid;
        return app->pi.hProcess != nullptr;
    }
    return false;
}

bool WaitExit(App* app, DWORD* exitCode) {
    if (WaitForSingleObject(app->pi.hProcess, WaitMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(app->pi.hProcess, exitCode);
    return true;
}

void StopApp(App* app) {
    if (!app->running())
        return;
    if (WaitForSingleObject(app->pi.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(app->pi.hProcess, 99);
        WaitForSingleObject(app->pi.hProcess, WaitMs);
    }
    CloseHandle(app->pi.hThread);
    CloseHandle(app->pi.hProcess);
    app->pi = {};
}

namespace {

Kind KindOf(HWND hwnd) {
    if (GetDlgItem(hwnd, IDC_INSTALL_2002))
        return Kind::Main;
    if (GetDlgItem(hwnd, IDC_VERSION))
        return Kind::About;
    return Kind::MessageBox;
}

struct Search {
    DWORD pid;
    Kind kind;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[16];
    if (pid != s->pid || !GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0)
        return TRUE;
    if (s->visibleOnly && !IsWindowVisible(hwnd))
        return TRUE;
    if (s->kind != Kind::Any && KindOf(hwnd) != s->kind)
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

// Draws a system icon on the given background, as the message box's static draws it.
std::vector<COLORREF> Render(HDC screen, int w, int h, COLORREF bg, LPCTSTR id) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(dc, bmp);
    HBRUSH brush = CreateSolidBrush(bg);
    RECT r = {0, 0, w, h};
    FillRect(dc, &r, brush);
    DrawIconEx(dc, 0, 0, LoadIcon(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> px(w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[y * w + x] = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(brush);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
}

int Matches(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b) {
    int same = 0;
    for (size_t i = 0; i < a.size(); i++)
        same += a[i] == b[i];
    return same;
}

// A message box holds two statics: one with the icon style, one with the text.
bool IsStatic(HWND c, bool icon) {
    char cls[16];
    GetClassNameA(c, cls, sizeof cls);
    return _stricmp(cls, "Static") == 0 && ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) == icon;
}

HWND IconControl(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (IsStatic(c, true))
            return IsWindowVisible(c) ? c : nullptr;
    }
    return nullptr;
}

// Which standard icon the box shows, told apart by its pixels on the screen.
Icon ReadIcon(HWND box) {
    HWND ctl = IconControl(box);
    if (!ctl)
        return Icon::None;
    RECT r;
    GetWindowRect(ctl, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return Icon::None;
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> shown(w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            shown[y * w + x] = GetPixel(screen, r.left + x, r.top + y);
    COLORREF bg = shown[0];
    int warning = Matches(shown, Render(screen, w, h, bg, IDI_WARNING));
    int info = Matches(shown, Render(screen, w, h, bg, IDI_INFORMATION));
    ReleaseDC(nullptr, screen);
    int enough = w * h * 95 / 100;
    if (warning >= enough && warning > info)
        return Icon::Warning;
    if (info >= enough && info > warning)
        return Icon::Information;
    return Icon::Other;
}

std::wstring BoxText(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (IsStatic(c, false)) {
            std::wstring t = Text(c);
            if (!t.empty())
                return t;
        }
    }
    return L"";
}

}  // namespace

HWND FindDialog(const App& app, Kind kind, bool visibleOnly) {
    Search s = {app.pi.dwProcessId, kind, visibleOnly, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitDialog(const App& app, Kind kind) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitMs; Sleep(20)) {
        if (HWND h = FindDialog(app, kind))
            return h;
        if (WaitForSingleObject(app.pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
    }
    return nullptr;
}

bool WaitGone(HWND hwnd) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitMs; Sleep(20)) {
        if (!IsWindow(hwnd))
            return true;
    }
    return false;
}

std::wstring Text(HWND hwnd) {
    wchar_t buf[1024];
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, WaitMs, &len))
        return L"<no answer>";
    return std::wstring(buf, len);
}

std::wstring ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void PostCommand(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostKey(const App& app, UINT vk) {
    GUITHREADINFO info = {sizeof info};
    GetGUIThreadInfo(app.pi.dwThreadId, &info);
    HWND target = info.hwndFocus ? info.hwndFocus : info.hwndActive;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

bool Barrier(HWND button) {
    PostMessageW(button, BM_SETSTATE, TRUE, 0);
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitMs; Sleep(10)) {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, WaitMs, &state);
        if (state & BST_PUSHED) {
            PostMessageW(button, BM_SETSTATE, FALSE, 0);
            return true;
        }
    }
    return false;
}

bool WaitItemText(HWND dialog, int id, const std::wstring& text) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitMs; Sleep(20)) {
        if (ItemText(dialog, id) == text)
            return true;
    }
    return false;
}

void PostClose(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

Box WaitMessageBox(const App& app) {
    Box box;
    box.hwnd = WaitDialog(app, Kind::MessageBox);
    if (!box.hwnd)
        return box;
    Sleep(200);  // let it paint before its icon is read off the screen
    box.caption = Text(box.hwnd);
    box.text = BoxText(box.hwnd);
    box.icon = ReadIcon(box.hwnd);
    return box;
}

void CloseMessageBox(const Box& box) {
    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
    WaitGone(box.hwnd);
}

std::wstring PressInstall(const App& app, HWND main, int button) {
    PostCommand(main, button);
    Box box = WaitMessageBox(app);
    if (box.hwnd)
        CloseMessageBox(box);
    return box.text;
}
