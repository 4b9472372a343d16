// End-to-end flows: Tavorine.exe started in a prepared current directory,
// driven through its windows as a user would drive it.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <set>

#include "files.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

const wchar_t Installed[] = L"インストールされています";
const wchar_t NotInstalled[] = L"インストールされていません";

class Flow : public testing::Test {
protected:
    void SetUp() override {
        // 932, or the code page that the run registered this test for (tests/CMakeLists.txt).
        const char* page = getenv("TAVORINE_CODE_PAGE");
        ASSERT_EQ(page ? strtoul(page, nullptr, 10) : 932ul, GetACP()) << "not the run's code page";
        work_ = FreshDir(testing::UnitTest::GetInstance()->current_test_info()->name());
        PlantAllSources(work_);
        ClearTargets();
    }
    void TearDown() override {
        DWORD code = 0;
        if (app_.running() && GetExitCodeProcess(app_.pi.hProcess, &code))
            EXPECT_LT(code, 0xC0000000u) << "Tavorine crashed: exception 0x" << std::hex << code;
        StopApp(&app_);
        RemoveTree(work_);
        ClearTargets();
    }
    HWND Start() {
        EXPECT_TRUE(StartApp(&app_, work_));
        HWND main = WaitDialog(app_, Kind::Main);
        EXPECT_NE(nullptr, main) << "no main dialog";
        return main;
    }
    void ExpectExitCodeZero() {
        DWORD code = 1234;
        ASSERT_TRUE(WaitExit(&app_, &code)) << "the program did not end";
        EXPECT_EQ(0u, code);
    }
    std::string Source(const char* name) const { return work_ + "\\VCRUNTIME\\" + name; }

    std::string work_;
    App app_;
};

TEST_F(Flow, IncompleteSourcesWarnAndEndWithoutTheDialog) {
    DeleteFileA(Source("msvcp70.dll").c_str());
    ASSERT_TRUE(StartApp(&app_, work_));

    Box box;
    bool mainSeen = false;
    for (DWORD start = GetTickCount(); !box.hwnd && GetTickCount() - start < WaitMs; Sleep(10)) {
        mainSeen |= FindDialog(app_, Kind::Main) != nullptr;
        if (FindDialog(app_, Kind::MessageBox))
            box = WaitMessageBox(app_);
    }
    ASSERT_NE(nullptr, box.hwnd) << "no warning box";
    EXPECT_EQ(L"Tavorine", box.caption);
    EXPECT_EQ(L"コピー元のランタイムファイルが一部、又は全て見つかりません\n\n終了します", box.text);
    EXPECT_EQ(Icon::Warning, box.icon);
    HWND owner = GetWindow(box.hwnd, GW_OWNER);
    EXPECT_NE(nullptr, owner);
    EXPECT_FALSE(IsWindowVisible(owner)) << "the main dialog must stay hidden";

    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
    DWORD code = 1234;
    for (DWORD start = GetTickCount(); GetTickCount() - start < WaitMs; Sleep(10)) {
        mainSeen |= FindDialog(app_, Kind::Main) != nullptr;
        if (WaitForSingleObject(app_.pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
    }
    ASSERT_TRUE(WaitExit(&app_, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(mainSeen) << "the main dialog was shown";
    for (const char* name : RuntimeNames)
        EXPECT_FALSE(Exists(SystemPath(name))) << name;
}

TEST_F(Flow, InstallsTheMissingSetAndRefreshesOnlyItsLine) {
    PlantLargeSources(work_);
    HWND main = Start();
    ASSERT_TRUE(main);
    EXPECT_EQ(L"VC++ .NET 2002ランタイム(MSVCR70)をインストール", ItemText(main, IDC_INSTALL_2002));
    EXPECT_EQ(L"VC++ .NET 2003ランタイム(MSVCR71)をインストール", ItemText(main, IDC_INSTALL_2003));
    EXPECT_EQ(L"閉じる", ItemText(main, IDC_CLOSE));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2002));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2003));

    // The disk fills up in the middle of MFC71.dll, the only file larger than the limit.
    ArmFault("write * 512000");
    PostCommand(main, IDC_INSTALL_2003);
    Box box = WaitMessageBox(app_);
    DisarmFaults();
    ASSERT_TRUE(box.hwnd) << "no message box";
    EXPECT_EQ(L"インストールに失敗しました", box.text);
    EXPECT_EQ(Icon::Warning, box.icon);
    CloseMessageBox(box);
    ASSERT_TRUE(Barrier(GetDlgItem(main, IDC_CLOSE)));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2003));
    EXPECT_FALSE(Exists(SystemPath("MFC71.dll")));

    // The 2002 set arrives behind the dialog's back: its line is not the 2003 button's business.
    for (int i = 3; i < 5; i++)
        ASSERT_TRUE(WriteFileBytes(SystemPath(RuntimeNames[i]), StandInBytes(RuntimeNames[i], "there")));
    PostCommand(main, IDC_INSTALL_2003);
    box = WaitMessageBox(app_);
    ASSERT_TRUE(box.hwnd) << "no message box";
    EXPECT_EQ(L"Tavorine", box.caption);
    EXPECT_EQ(L"インストールに成功しました", box.text);
    EXPECT_EQ(Icon::Information, box.icon);
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2003)) << "refreshed before the box was closed";

    CloseMessageBox(box);
    EXPECT_TRUE(WaitItemText(main, IDC_STATUS_2003, Installed));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2002));
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(SameBytes(SystemPath(RuntimeNames[i]), Source(RuntimeNames[i]))) << RuntimeNames[i];

    // A program in a folder without MFC71.dll loads the installed one.
    App user;
    DWORD code = 1234;
    EXPECT_TRUE(StartApp(&user, work_, BuildFile("tests\\old_program.exe")) && WaitExit(&user, &code));
    EXPECT_EQ(0u, code) << "the installed MFC71.dll cannot be loaded";
    StopApp(&user);

    PostCommand(main, IDC_CLOSE);
    ExpectExitCodeZero();
}

TEST_F(Flow, AnInstalledSetIsLeftAloneAndAFailedCopyIsReported) {
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(WriteFileBytes(SystemPath(RuntimeNames[i]), StandInBytes(RuntimeNames[i], "there")));
    HWND main = Start();
    ASSERT_TRUE(main);
    EXPECT_EQ(Installed, ItemText(main, IDC_STATUS_2003));

    PostCommand(main, IDC_INSTALL_2003);
    ASSERT_TRUE(Barrier(GetDlgItem(main, IDC_CLOSE)));
    EXPECT_EQ(nullptr, FindDialog(app_, Kind::MessageBox)) << "a box for an installed set";
    EXPECT_EQ(Installed, ItemText(main, IDC_STATUS_2003));
    EXPECT_TRUE(Holds(SystemPath("MFC71.dll"), "MFC71.dll", "there"));

    // A system directory that the run may not write into: nothing there is held, so
    // nothing is waited for (a wait would take some seconds a file), and nothing is left.
    int files = CountFiles(SystemDir());
    ASSERT_TRUE(DenyWrites(SystemDir(), true));
    DWORD start = GetTickCount();
    PostCommand(main, IDC_INSTALL_2002);
    Box box = WaitMessageBox(app_);
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(DenyWrites(SystemDir(), false));
    ASSERT_TRUE(box.hwnd) << "no message box";
    EXPECT_EQ(L"インストールに失敗しました", box.text);
    EXPECT_LT(took, 2000u) << "waited as for a held file";
    EXPECT_EQ(files, CountFiles(SystemDir())) << "a file is left";
    CloseMessageBox(box);

    // The second 2002 source, held open without sharing, cannot be copied.
    HANDLE held = CreateFileA(Source("msvcr70.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    PostCommand(main, IDC_INSTALL_2002);
    box = WaitMessageBox(app_);
    CloseHandle(held);
    ASSERT_TRUE(box.hwnd) << "no message box";
    EXPECT_EQ(L"Tavorine", box.caption);
    EXPECT_EQ(L"インストールに失敗しました", box.text);
    EXPECT_EQ(Icon::Warning, box.icon);
    CloseMessageBox(box);
    ASSERT_TRUE(Barrier(GetDlgItem(main, IDC_CLOSE)));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2002));
    EXPECT_TRUE(Exists(SystemPath("msvcp70.dll"))) << "the first file stays copied";

    PostClose(main);
    ExpectExitCodeZero();
}

TEST_F(Flow, OkCancelAndEscapeDoNothing) {
    HWND main = Start();
    ASSERT_TRUE(main);
    PostCommand(main, IDOK);
    PostCommand(main, IDCANCEL);
    PostKey(app_, VK_ESCAPE);
    ASSERT_TRUE(Barrier(GetDlgItem(main, IDC_CLOSE)));

    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(nullptr, FindDialog(app_, Kind::MessageBox));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2002));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2003));
    for (const char* name : RuntimeNames)
        EXPECT_FALSE(Exists(SystemPath(name))) << name;

    PostCommand(main, IDC_CLOSE);
    ExpectExitCodeZero();
}

TEST_F(Flow, AboutShowsTheVersionAndClosesOnlyOnOk) {
    HWND main = Start();
    ASSERT_TRUE(main);

    PostCommand(main, IDC_ABOUT);
    HWND about = WaitDialog(app_, Kind::About);
    ASSERT_TRUE(about);
    EXPECT_EQ(L"バージョン情報", Text(about));
    EXPECT_EQ(L"Tavorine ver1.00", ItemText(about, IDC_VERSION));
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(GetDlgItem(about, IDC_APPICON), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, WaitMs, &icon);
    EXPECT_NE(0u, icon) << "the icon control holds no icon";
    EXPECT_EQ(main, GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(main)) << "modal over the main dialog";

    PostKey(app_, VK_ESCAPE);
    ASSERT_TRUE(Barrier(GetDlgItem(about, IDC_CLOSE)));
    EXPECT_TRUE(IsWindow(about)) << "Escape closed the About dialog";

    PostKey(app_, VK_RETURN);
    EXPECT_TRUE(WaitGone(about)) << "Enter did not close it";

    PostCommand(main, IDC_ABOUT);
    about = WaitDialog(app_, Kind::About);
    ASSERT_TRUE(about);
    PostCommand(about, IDC_CLOSE);
    EXPECT_TRUE(WaitGone(about)) << "OK did not close it";

    PostCommand(main, IDC_ABOUT);
    about = WaitDialog(app_, Kind::About);
    ASSERT_TRUE(about);
    PostClose(about);
    EXPECT_TRUE(WaitGone(about)) << "its close box did not close it";

    ASSERT_TRUE(Barrier(GetDlgItem(main, IDC_CLOSE)));
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2002));
    EXPECT_EQ(NotInstalled, ItemText(main, IDC_STATUS_2003));
    PostClose(main);
    ExpectExitCodeZero();
}

// The 64-bit system32 that a 32-bit program does not normally see: each file's
// name, size and write time, and the bytes at the five runtime names.
std::set<std::string> Native64BitSystemDir() {
    const std::string dir = "C:\\windows\\sysnative\\";
    std::set<std::string> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        char line[400];
        snprintf(line, sizeof line, "%s %lu %lu %lu", data.cFileName, data.nFileSizeLow,
                 data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime);
        files.insert(line);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    for (const char* name : RuntimeNames) {
        std::string bytes;
        files.insert(name + (ReadFileBytes(dir + name, &bytes) ? " holds " + bytes : std::string(" absent")));
    }
    return files;
}

// Run only in the run's 64-bit prefix (tests/CMakeLists.txt), where the system
// directory of a 32-bit program is redirected to syswow64.
TEST_F(Flow, On64BitWindowsBothSetsGoToSysWow64) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && wow64) << "not in a 64-bit prefix";
    char wow64Dir[MAX_PATH];
    ASSERT_TRUE(GetSystemWow64DirectoryA(wow64Dir, MAX_PATH));
    std::set<std::string> native = Native64BitSystemDir();
    ASSERT_GT(native.size(), 100u) << "the 64-bit system32 cannot be read";

    HWND main = Start();
    ASSERT_TRUE(main);
    for (int button : {IDC_INSTALL_2002, IDC_INSTALL_2003})
        EXPECT_EQ(L"インストールに成功しました", PressInstall(app_, main, button));
    EXPECT_TRUE(WaitItemText(main, IDC_STATUS_2002, Installed));
    EXPECT_TRUE(WaitItemText(main, IDC_STATUS_2003, Installed));
    for (const char* name : RuntimeNames) {
        std::string landed = std::string(wow64Dir) + "\\" + name;
        EXPECT_TRUE(SameBytes(landed, Source(name))) << landed << " is not its source";
    }
    EXPECT_TRUE(native == Native64BitSystemDir()) << "the 64-bit system32 changed";

    PostCommand(main, IDC_CLOSE);
    ExpectExitCodeZero();
}

}  // namespace
