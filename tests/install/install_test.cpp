#include "fixture.h"

#include <string.h>

using InstallTest = RuntimeTest;

TEST_F(InstallTest, CopiesEachSetAndTheQueriesFollow) {
    ASSERT_TRUE(InstallRuntime2002());
    EXPECT_TRUE(IsRuntime2002Installed());
    EXPECT_FALSE(IsRuntime2003Installed());
    ExpectCopied("msvcp70.dll");
    ExpectCopied("msvcr70.dll");

    ASSERT_TRUE(InstallRuntime2003());
    EXPECT_TRUE(IsRuntime2003Installed());
    for (int i = 0; i < 3; i++)
        ExpectCopied(Set2003[i]);

    // Installing again finds everything there and still succeeds.
    EXPECT_TRUE(InstallRuntime2002());
    EXPECT_TRUE(InstallRuntime2003());
}

TEST_F(InstallTest, NeverOverwritesAFileThatIsThere) {
    PlantTarget("msvcp70.dll", "older version");
    ASSERT_TRUE(SetFileAttributesA(SystemPath("msvcp70.dll").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(InstallRuntime2002());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(SystemPath("msvcp70.dll"), &bytes));
    EXPECT_EQ(StandInBytes("msvcp70.dll", "older version"), bytes);
    ExpectCopied("msvcr70.dll");
}

TEST_F(InstallTest, IncompleteSourcesCopyNothing) {
    DeleteFileA(Source("msvcr71.dll").c_str());
    EXPECT_FALSE(InstallRuntime2002());
    EXPECT_FALSE(InstallRuntime2003());
    for (const char* name : RuntimeNames)
        EXPECT_FALSE(Exists(SystemPath(name))) << name;
}

TEST_F(InstallTest, AFailedCopyDoesNotStopTheOthers) {
    // Held open without sharing, the second source cannot be read.
    HANDLE held = CreateFileA(Source("msvcp71.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    bool result = InstallRuntime2003();
    DWORD heldOpen = CloseHandle(held);

    EXPECT_TRUE(heldOpen);
    EXPECT_FALSE(result);
    ExpectCopied("MFC71.dll");
    EXPECT_FALSE(Exists(SystemPath("msvcp71.dll")));
    ExpectCopied("msvcr71.dll");
    EXPECT_FALSE(IsRuntime2003Installed());

    // Once the file is free again, a second attempt completes the set.
    EXPECT_TRUE(InstallRuntime2003());
    EXPECT_TRUE(IsRuntime2003Installed());
}

// Disk full in the middle of MFC71.dll (only it is larger than the limit), and
// msvcp71.dll's source failing to read part-way, on the platform's real copy.
TEST_F(InstallTest, ACopyCutShortLeavesNoLibraryUnderItsName) {
    PlantLargeSources(work_);
    const struct {
        const char* rule;
        const char* cut;
    } faults[] = {{"write * 512000", "MFC71.dll"}, {"read msvcp71.dll 131072", "msvcp71.dll"}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.rule);
        ClearTargets();
        int files = CountFiles(SystemDir());
        ArmFault(fault.rule);
        bool result = InstallRuntime2003();
        DisarmFaults();
        EXPECT_FALSE(result);
        EXPECT_FALSE(Exists(SystemPath(fault.cut)));
        for (int i = 0; i < 3; i++)
            if (strcmp(Set2003[i], fault.cut) != 0)
                ExpectSameAsSource(Set2003[i]);
        EXPECT_EQ(files + 2, CountFiles(SystemDir())) << "a stray file is left";
        EXPECT_FALSE(IsRuntime2003Installed());

        EXPECT_TRUE(InstallRuntime2003());
        for (int i = 0; i < 3; i++)
            ExpectSameAsSource(Set2003[i]);

        // A file that stood at the name before is never touched, whatever fails.
        ClearTargets();
        PlantTarget(fault.cut, "already there");
        ArmFault(fault.rule);
        InstallRuntime2003();
        DisarmFaults();
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(SystemPath(fault.cut), &bytes));
        EXPECT_EQ(StandInBytes(fault.cut, "already there"), bytes);
    }
}

TEST_F(InstallTest, ADirectoryAtATargetNameIsAFailure) {
    ASSERT_TRUE(MakeDir(SystemPath("msvcp70.dll")));
    EXPECT_FALSE(InstallRuntime2002());
    ExpectCopied("msvcr70.dll");
    EXPECT_FALSE(IsRuntime2002Installed());
}
