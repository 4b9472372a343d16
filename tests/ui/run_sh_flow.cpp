// The user's part of run.sh --native (tests/ui/run_sh_native.sh, which runs this case alone):
// in the Tavorine that run.sh started, both buttons, then Close.
#include <gtest/gtest.h>

#include "resource.h"
#include "ui_driver.h"

TEST(RunShNative, BothSetsInstallWhereWinesOwnStoodAside) {
    App app;
    // run.sh first checks the machine and the build.
    ASSERT_TRUE(AttachApp(&app, 20 * WaitMs)) << "run.sh started no Tavorine";
    HWND main = WaitDialog(app, Kind::Main);
    ASSERT_TRUE(main);
    for (int line : {IDC_STATUS_2002, IDC_STATUS_2003})
        EXPECT_EQ(L"インストールされていません", ItemText(main, line)) << "Wine's own still counted";
    for (int button : {IDC_INSTALL_2002, IDC_INSTALL_2003})
        EXPECT_EQ(L"インストールに成功しました", PressInstall(app, main, button));
    EXPECT_TRUE(WaitItemText(main, IDC_STATUS_2002, L"インストールされています"));
    EXPECT_TRUE(WaitItemText(main, IDC_STATUS_2003, L"インストールされています"));
    PostCommand(main, IDC_CLOSE);
    DWORD code = 1234;
    EXPECT_TRUE(WaitExit(&app, &code) && code == 0) << "Tavorine did not end with 0";
    StopApp(&app);
}
