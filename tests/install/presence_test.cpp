#include "fixture.h"

#include <string.h>

using PresenceTest = RuntimeTest;

TEST_F(PresenceTest, SetsCountOnlyWhenEveryFileIsAPlainFile) {
    EXPECT_FALSE(IsRuntime2002Installed());
    EXPECT_FALSE(IsRuntime2003Installed());

    PlantTarget("msvcp70.dll", "only one");
    EXPECT_FALSE(IsRuntime2002Installed());

    // A name lookup finds the directory, but it is no library.
    ASSERT_TRUE(MakeDir(SystemPath("msvcr70.dll")));
    EXPECT_FALSE(IsRuntime2002Installed());
    RemoveTree(SystemPath("msvcr70.dll"));

    PlantTarget("msvcr70.dll", "second");
    EXPECT_TRUE(IsRuntime2002Installed());
    EXPECT_FALSE(IsRuntime2003Installed());
}

TEST_F(PresenceTest, EachMissing2003FileMakesTheSetAbsent) {
    for (int missing = 0; missing < 3; missing++) {
        ClearTargets();
        for (int i = 0; i < 3; i++)
            if (i != missing)
                PlantTarget(Set2003[i], "present");
        EXPECT_FALSE(IsRuntime2003Installed()) << Set2003[missing] << " missing";
    }
    PlantTarget(Set2003[2], "present");
    EXPECT_TRUE(IsRuntime2003Installed());
}

TEST_F(PresenceTest, AttributesAndCapitalsDoNotMatter) {
    PlantTargets(Set2002, 2);
    SetFileAttributesA(SystemPath("msvcp70.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(SystemPath("msvcr70.dll").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(IsRuntime2002Installed());

    ASSERT_TRUE(WriteFileBytes(SystemPath("MFC71.DLL"), "x"));
    ASSERT_TRUE(WriteFileBytes(SystemPath("MSVCP71.DLL"), "x"));
    ASSERT_TRUE(WriteFileBytes(SystemPath("Msvcr71.Dll"), "x"));
    EXPECT_TRUE(IsRuntime2003Installed());
}

TEST_F(PresenceTest, SourcesNeedAllFiveUnderTheCurrentDirectory) {
    EXPECT_TRUE(AreSourceFilesPresent());

    for (int only = 0; only < 2; only++) {
        RemoveTree(work_ + "\\VCRUNTIME");
        if (only == 0)
            PlantSources(work_, Set2002, 2);
        else
            PlantSources(work_, Set2003, 3);
        EXPECT_FALSE(AreSourceFilesPresent()) << (only == 0 ? "only 2002" : "only 2003");
    }

    // A directory standing at a source name is not a source file.
    RemoveTree(work_ + "\\VCRUNTIME");
    PlantAllSources(work_);
    DeleteFileA(Source("msvcr70.dll").c_str());
    ASSERT_TRUE(MakeDir(Source("msvcr70.dll")));
    EXPECT_FALSE(AreSourceFilesPresent());
}

TEST_F(PresenceTest, SourcesBesideTheProgramDoNotCount) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    *strrchr(exe, '\\') = '\0';
    std::string beside = exe;
    RemoveTree(beside + "\\VCRUNTIME");  // what a crashed run may have left
    PlantAllSources(beside);

    RemoveTree(work_ + "\\VCRUNTIME");
    bool present = AreSourceFilesPresent();
    RemoveTree(beside + "\\VCRUNTIME");
    EXPECT_FALSE(present);
}

TEST(FormatTargetPath, RefusesAPathThatDoesNotFit) {
    char out[MAX_PATH + 16];
    memset(out, '#', sizeof out);

    // "\\msvcr70.dll" is 12 characters: a 247-character directory fills 259 + NUL.
    std::string dir(247, 'd');
    ASSERT_TRUE(FormatTargetPath(out, "%s\\msvcr70.dll", dir.c_str()));
    EXPECT_EQ(dir + "\\msvcr70.dll", out);

    dir += 'd';
    memset(out, '#', sizeof out);
    EXPECT_FALSE(FormatTargetPath(out, "%s\\msvcr70.dll", dir.c_str()));
    EXPECT_EQ('\0', out[0]);
    for (size_t i = MAX_PATH; i < sizeof out; i++)
        ASSERT_EQ('#', out[i]) << "written past the buffer at " << i;

    std::string huge(4000, 'x');
    EXPECT_FALSE(FormatTargetPath(out, "%s\\MFC71.dll", huge.c_str()));
    EXPECT_EQ('#', out[MAX_PATH]);
}
