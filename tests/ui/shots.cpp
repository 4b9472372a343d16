// Takes pictures of Tavorine's windows for the README: runs the program in a
// prepared directory and saves each window as it is on the screen, as BMP.
// Usage: ui_shots.exe OUTDIR
#include <stdio.h>

#include "files.h"
#include "resource.h"
#include "test_prefix.h"
#include "ui_driver.h"

namespace {

bool SaveWindow(HWND hwnd, const std::string& path) {
    RECT r;
    GetWindowRect(hwnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh = {0x4D42, 0, 0, 0, sizeof fh + sizeof bi.bmiHeader};
    fh.bfSize = fh.bfOffBits + stride * h;
    std::string bytes(reinterpret_cast<char*>(&fh), sizeof fh);
    bytes.append(reinterpret_cast<char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    bytes.append(static_cast<char*>(bits), stride * h);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    bool ok = WriteFileBytes(path, bytes);
    printf("%s %s\n", ok ? "saved" : "could not save", path.c_str());
    return ok;
}

void SaveBox(const App& app, const std::string& path) {
    Box box = WaitMessageBox(app);
    if (box.hwnd) {
        SaveWindow(box.hwnd, path);
        CloseMessageBox(box);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RequireTestPrefix();
    if (argc < 2) {
        fprintf(stderr, "usage: ui_shots OUTDIR\n");
        return 2;
    }
    std::string out = argv[1];
    std::string work = FreshDir("shots");
    PlantAllSources(work);
    ClearTargets();

    App app;
    StartApp(&app, work);
    HWND main = WaitDialog(app, Kind::Main);
    if (!main)
        return 1;
    Sleep(300);
    SaveWindow(main, out + "\\main.bmp");

    PostCommand(main, IDC_ABOUT);
    if (HWND about = WaitDialog(app, Kind::About)) {
        Sleep(300);
        SaveWindow(about, out + "\\about.bmp");
        PostCommand(about, IDC_CLOSE);
        WaitGone(about);
    }

    PostCommand(main, IDC_INSTALL_2003);
    SaveBox(app, out + "\\box-success.bmp");

    HANDLE held = CreateFileA((work + "\\VCRUNTIME\\msvcr70.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    PostCommand(main, IDC_INSTALL_2002);
    SaveBox(app, out + "\\box-failure.bmp");
    CloseHandle(held);
    Barrier(GetDlgItem(main, IDC_CLOSE));
    Sleep(200);
    SaveWindow(main, out + "\\main-after.bmp");
    PostCommand(main, IDC_CLOSE);
    DWORD code;
    WaitExit(&app, &code);
    StopApp(&app);

    DeleteFileA((work + "\\VCRUNTIME\\MFC71.dll").c_str());
    App second;
    StartApp(&second, work);
    SaveBox(second, out + "\\box-sources-missing.bmp");
    WaitExit(&second, &code);
    StopApp(&second);

    RemoveTree(work);
    ClearTargets();
    return 0;
}
