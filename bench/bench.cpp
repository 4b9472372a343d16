// Measures Tavorine on Wine: start-up to a visible dialog against a program
// that shows only an empty dialog, installing the 2003 set against cmd's copy
// and against the platform's own durable and safe copies, and the file sizes and peak
// working sets. Prints medians over Runs runs.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files.h"
#include "resource.h"
#include "runtime.h"
#include "test_prefix.h"
#include "ui_driver.h"

namespace {

const int Runs = 15;

double Now() {
    static LARGE_INTEGER freq;
    if (!freq.QuadPart)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * t.QuadPart / freq.QuadPart;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Start {
    std::vector<double> ms;
    std::vector<double> peakKb;
};

// From CreateProcess to the first visible dialog of the new process.
void MeasureStart(const std::string& exe, const std::string& cwd, Start* out) {
    App app;
    double t0 = Now();
    if (!StartApp(&app, cwd, exe))
        return;
    HWND hwnd = nullptr;
    while (!(hwnd = FindDialog(app, Kind::Any)) && Now() - t0 < WaitMs)
        Sleep(1);
    double t1 = Now();
    Sleep(300);
    PROCESS_MEMORY_COUNTERS pmc = {sizeof pmc};
    GetProcessMemoryInfo(app.pi.hProcess, &pmc, sizeof pmc);
    if (hwnd) {
        out->ms.push_back(t1 - t0);
        out->peakKb.push_back(pmc.PeakWorkingSetSize / 1024.0);
        PostClose(hwnd);
    }
    DWORD code;
    WaitExit(&app, &code);
    StopApp(&app);
}

double RunCmd(const std::string& cwd, const std::string& args) {
    App app;
    std::string cmd = "C:\\windows\\system32\\cmd.exe";
    STARTUPINFOA si = {sizeof si};
    std::string line = "cmd.exe /c " + args;
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    double t0 = Now();
    if (!CreateProcessA(cmd.c_str(), buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, cwd.c_str(), &si,
                        &app.pi))
        return -1;
    WaitForSingleObject(app.pi.hProcess, WaitMs);
    double t1 = Now();
    StopApp(&app);
    return t1 - t0;
}

std::string CopyCommand() {
    std::string sys = SystemDir(), args;
    const char* names[] = {"MFC71.dll", "msvcp71.dll", "msvcr71.dll"};
    for (const char* n : names) {
        if (!args.empty())
            args += " & ";
        args += "copy /b VCRUNTIME\\" + std::string(n) + " " + sys + "\\" + n + " >nul";
    }
    return args;
}

// Press the button, wait for the result box: what the user waits for.
std::vector<double> MeasureUiInstall(const std::string& cwd) {
    std::vector<double> ms;
    App app;
    StartApp(&app, cwd);
    HWND main = WaitDialog(app, Kind::Main);
    for (int i = 0; main && i < Runs; i++) {
        ClearTargets();
        double t0 = Now();
        PostCommand(main, IDC_INSTALL_2003);
        HWND box = nullptr;
        while (!(box = FindDialog(app, Kind::MessageBox)) && Now() - t0 < WaitMs)
            Sleep(1);
        double t1 = Now();
        if (!box)
            break;
        ms.push_back(t1 - t0);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        WaitGone(box);
        Barrier(GetDlgItem(main, IDC_CLOSE));
    }
    if (main)
        PostCommand(main, IDC_CLOSE);
    DWORD code;
    WaitExit(&app, &code);
    StopApp(&app);
    return ms;
}

// The floors of an install of the three 2003 files. Durable: the platform's
// copy to fresh names, each then flushed to the disk. Safe: each copied to a
// fresh temporary name, flushed and renamed into place, and the directory
// flushed once, so that no name ever stands for a part of a file and the names
// are on the disk too. Probed: the safe floor with the name probes that the
// install must make, the five sources and the three libraries. Read: the
// probed floor with one read of each copy, as the check must make. Returns ms,
// and removes the copies.
enum class Level { Durable, Safe, Probed, Read };

double Floor(Level level) {
    bool safe = level != Level::Durable;
    std::string dir = SystemDir(), sources[5], targets[3], temps[3];
    for (int i = 0; i < 5; i++)  // the 2003 set first, as RuntimeNames lists them
        sources[i] = std::string("VCRUNTIME\\") + RuntimeNames[i];
    for (int i = 0; i < 3; i++) {
        targets[i] = dir + "\\floor-" + RuntimeNames[i];
        temps[i] = safe ? targets[i] + ".tmp" : targets[i];
    }
    bool probed = level >= Level::Probed, read = level == Level::Read;
    WIN32_FIND_DATAA data;
    static char chunk[65536];
    DWORD got;
    double t0 = Now();
    for (int i = 0; probed && i < 5; i++)
        FindClose(FindFirstFileA(sources[i].c_str(), &data));
    for (int i = 0; i < 3; i++) {
        if (probed) {
            HANDLE find = FindFirstFileA(targets[i].c_str(), &data);
            if (find != INVALID_HANDLE_VALUE)
                FindClose(find);
        }
        CopyFileA(sources[i].c_str(), temps[i].c_str(), TRUE);
        HANDLE h = CreateFileA(temps[i].c_str(), GENERIC_WRITE | (read ? GENERIC_READ : 0), 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        while (read && ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        }
        FlushFileBuffers(h);
        CloseHandle(h);
        if (safe)
            MoveFileA(temps[i].c_str(), targets[i].c_str());
    }
    if (safe) {
        HANDLE h = CreateFileA(dir.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
    }
    double t1 = Now();
    for (const std::string& t : targets)
        DeleteFileA(t.c_str());
    return t1 - t0;
}

DWORD FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d) ? d.nFileSizeLow : 0;
}

}  // namespace

int main() {
    RequireTestPrefix();
    std::string tavorine = ProgramPath();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string ref = self;
    ref = ref.substr(0, ref.rfind('\\')) + "\\ref_dialog.exe";

    std::string work = FreshDir("bench");
    PlantLargeSources(work);
    ClearTargets();

    Start tav, floor;
    MeasureStart(tavorine, work, &tav);  // warm-up, not counted
    tav = Start();
    for (int i = 0; i < Runs; i++) {
        MeasureStart(tavorine, work, &tav);
        MeasureStart(ref, work, &floor);
    }

    std::vector<double> ui = MeasureUiInstall(work);
    std::vector<double> core, durable, safe, probed, read, copy, bare;
    SetCurrentDirectoryA(work.c_str());
    std::string copyArgs = CopyCommand();
    for (int i = 0; i < Runs; i++) {
        ClearTargets();
        double t0 = Now();
        bool installed = InstallRuntime2003();
        core.push_back(Now() - t0);
        if (!installed) {
            fprintf(stderr, "bench: InstallRuntime2003 failed; a failed install is no measure\n");
            return 1;
        }
        ClearTargets();
        durable.push_back(Floor(Level::Durable));
        safe.push_back(Floor(Level::Safe));
        probed.push_back(Floor(Level::Probed));
        read.push_back(Floor(Level::Read));
        copy.push_back(RunCmd(work, copyArgs));
        bare.push_back(RunCmd(work, "rem"));
    }
    ClearTargets();
    SetCurrentDirectoryA("C:\\");
    RemoveTree(work);

    if (tav.ms.empty() || floor.ms.empty() || ui.empty()) {
        fprintf(stderr, "bench: a program did not show its window\n");
        return 1;
    }
    double tStart = Median(tav.ms), fStart = Median(floor.ms);
    double tUi = Median(ui), tCore = Median(core), tDurable = Median(durable), tSafe = Median(safe);
    double tCopy = Median(copy), tBare = Median(bare), tProbed = Median(probed), tRead = Median(read);
    printf("Medians of %d runs on %s\n\n", Runs, "Wine");
    printf("start-up to a visible dialog\n");
    printf("  Tavorine.exe     %8.1f ms\n", tStart);
    printf("  ref_dialog.exe   %8.1f ms   (an empty dialog from a template)\n", fStart);
    printf("  ratio            %8.2f\n\n", tStart / fStart);
    printf("installing the 2003 set (1060864 + 499712 + 348160 bytes)\n");
    printf("  Tavorine, button to result box   %8.1f ms\n", tUi);
    printf("  InstallRuntime2003 alone         %8.1f ms\n", tCore);
    printf("  floor, CopyFileA + flush         %8.1f ms\n", tDurable);
    printf("  safe floor, + rename, dir flush  %8.1f ms\n", tSafe);
    printf("  probed floor, + the 8 name probes %7.1f ms\n", tProbed);
    printf("  read floor, + one read of each copy %5.1f ms\n", tRead);
    printf("  cmd /c copy of the three files   %8.1f ms\n", tCopy);
    printf("  cmd /c rem (cmd's own start)     %8.1f ms\n", tBare);
    printf("  ratio, Tavorine / cmd copy           %8.2f\n", tUi / tCopy);
    printf("  ratio, InstallRuntime2003 / cmd copy %8.2f\n", tCore / tCopy);
    printf("  ratio, InstallRuntime2003 / floor    %8.2f\n", tCore / tDurable);
    printf("  ratio, InstallRuntime2003 / safe floor %6.2f\n", tCore / tSafe);
    printf("  ratio, InstallRuntime2003 / probed floor %4.2f\n", tCore / tProbed);
    printf("  ratio, InstallRuntime2003 / read floor %6.2f\n\n", tCore / tRead);
    printf("file size and peak working set\n");
    printf("  Tavorine.exe     %7lu bytes   %8.0f KiB\n", FileSize(tavorine), Median(tav.peakKb));
    printf("  ref_dialog.exe   %7lu bytes   %8.0f KiB\n", FileSize(ref), Median(floor.peakKb));
    return 0;
}
