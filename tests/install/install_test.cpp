#include "fixture.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <thread>

using InstallTest = RuntimeTest;

const size_t CheckSumField = offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum);

TEST_F(InstallTest, CopiesEachSetAndTheQueriesFollow) {
    // The libraries as users find them in other programs' folders. A checksum field of 0,
    // with 100 KB of data after the sections; a stale field; bytes appended after the
    // image, the field still the image's; a certificate table appended, the checksum
    // recomputed over the whole file.
    std::string noChecksum = StandInBytes("msvcp70.dll", "source") + std::string(100000, 'x');
    std::string stale = StandInBytes("MFC71.dll", "source");
    std::string appended = StandInBytes("msvcp71.dll", "source") + std::string(12288, '\0');
    std::string signature = StandInBytes("msvcr71.dll", "source");
    PokePe(&noChecksum, CheckSumField, 0);
    PokePe(&stale, CheckSumField, PeekPe(stale, CheckSumField) + 0x1000);
    signature.resize((signature.size() + 7) & ~7, '\0');
    PokePe(&signature, offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[4]), signature.size());
    PokePe(&signature, offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[4].Size), 16);
    signature = WithChecksum(signature + std::string("\x10\0\0\0\0\x02\x02\0PKCS7...", 16));
    // One that names itself in other capitals and holds 64 KB of zeros, whole by its
    // checksum: its words fold to 0xFFFF, and re-checksummed, as a signing tool does, its
    // field holds the sum's other zero.
    std::string capitals = StandInBytes("msvcr70.dll", "source");
    capitals.replace(capitals.find("msvcr70.dll"), 11, "MSVCR70.DLL");
    capitals += std::string(65536 + capitals.size() % 2 + 2, '\0');
    PokePe(&capitals, CheckSumField, 0);
    DWORD rest = 0xFFFF - (PeekPe(WithChecksum(capitals), CheckSumField) - capitals.size());
    capitals[capitals.size() - 2] = static_cast<char>(rest);
    capitals[capitals.size() - 1] = static_cast<char>(rest >> 8);
    capitals = WithChecksum(WithChecksum(capitals));
    ASSERT_EQ(capitals.size(), PeekPe(capitals, CheckSumField)) << "not the sum's other zero";
    const std::string* sources[] = {&stale, &appended, &signature, &noChecksum, &capitals};
    for (int i = 0; i < 5; i++)
        ASSERT_TRUE(WriteFileBytes(Source(RuntimeNames[i]), *sources[i]));
    for (const char* name : RuntimeNames)  // as on a CD
        ASSERT_TRUE(SetFileAttributesA(Source(name).c_str(), FILE_ATTRIBUTE_READONLY));

    // A read failing in that data, which Wine's copy reports as success: with no
    // checksum, only the copy's size shows it.
    ArmFault("read msvcp70.dll 70000");
    EXPECT_FALSE(InstallRuntime2002());
    DisarmFaults();
    EXPECT_FALSE(Exists(SystemPath("msvcp70.dll")));
    ClearTargets();

    DeleteFileA(FaultFile(".flushes").c_str());
    EXPECT_TRUE(InstallRuntime2002());
    EXPECT_TRUE(IsRuntime2002Installed());
    EXPECT_FALSE(IsRuntime2003Installed());
    ExpectSameAsSource("msvcp70.dll");
    ExpectSameAsSource("msvcr70.dll");

    EXPECT_TRUE(InstallRuntime2003());
    EXPECT_TRUE(IsRuntime2003Installed());
    for (int i = 0; i < 3; i++)
        ExpectSameAsSource(Set2003[i]);
    for (const char* name : RuntimeNames)
        EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA(SystemPath(name).c_str())) << name;

    // Each file was on the disk, whole, while it still had its temporary name,
    // and each set's names once its last file had taken its name: in the folder that
    // the writes land in, syswow64 for a 32-bit program on 64-bit Windows.
    char landed[MAX_PATH];
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64 || !GetSystemWow64DirectoryA(landed, MAX_PATH))
        snprintf(landed, sizeof landed, "%s", SystemDir().c_str());
    std::string log, expected, sys = strrchr(landed, '\\') + 1 + std::string("/\n");
    ReadFileBytes(FaultFile(".flushes"), &log);
    for (std::string n : {"msvcp70.dll", "msvcr70.dll", "", "MFC71.dll", "msvcp71.dll", "msvcr71.dll", ""}) {
        std::string bytes;
        ReadFileBytes(Source(n.c_str()), &bytes);
        expected += n.empty() ? sys : "Tavorine-" + n + ".tmp " + std::to_string(bytes.size()) + "\n";
    }
    EXPECT_EQ(expected, log);

    // Installing again finds everything there and still succeeds.
    EXPECT_TRUE(InstallRuntime2002());
    EXPECT_TRUE(InstallRuntime2003());
}

TEST_F(InstallTest, NeverOverwritesAFileThatIsThere) {
    PlantTarget("msvcp70.dll", "older version");
    ASSERT_TRUE(SetFileAttributesA(SystemPath("msvcp70.dll").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(InstallRuntime2002());
    ExpectHolds("msvcp70.dll", "older version");
    ExpectCopied("msvcr70.dll");

    // Nor another program's temporary file; only what an interrupted run of
    // this program left at a copy's own temporary name (read-only, as copied
    // from a read-only source) is removed.
    int files = CountFiles(SystemDir());
    std::string theirs = SystemPath("tav1A2B.tmp"), leftover = SystemPath("Tavorine-MFC71.dll.tmp");
    ASSERT_TRUE(WriteFileBytes(theirs, StandInBytes("tav1A2B.tmp", "theirs")));
    ASSERT_TRUE(WriteFileBytes(leftover, StandInBytes("MFC71.dll", "source").substr(0, 1000)));
    ASSERT_TRUE(SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_READONLY));

    // Nor a library that another installer puts there while its copy is held part-way.
    std::string installers = StandInBytes("msvcp71.dll", "theirs");  // read before reads of the name are held
    ArmFault("hold msvcp71.dll 1024");
    bool result = false;
    std::thread install([&] { result = InstallRuntime2003(); });
    for (int i = 0; i < 1000 && !Exists(FaultFile(".held")); i++)
        Sleep(10);
    EXPECT_TRUE(Exists(FaultFile(".held"))) << "the copy was not held";
    EXPECT_TRUE(WriteFileBytes(SystemPath("msvcp71.dll"), installers));
    DisarmFaults();
    install.join();
    EXPECT_TRUE(result);
    ExpectHolds("msvcp71.dll", "theirs");
    ExpectSameAsSource("MFC71.dll");
    EXPECT_FALSE(Exists(leftover));
    EXPECT_TRUE(Holds(theirs, "tav1A2B.tmp", "theirs"));
    DeleteFileA(theirs.c_str());
    EXPECT_EQ(files + 3, CountFiles(SystemDir())) << "a stray file is left";
}

TEST_F(InstallTest, IncompleteSourcesCopyNothing) {
    DeleteFileA(Source("msvcr71.dll").c_str());
    EXPECT_FALSE(InstallRuntime2002());
    EXPECT_FALSE(InstallRuntime2003());
    for (const char* name : RuntimeNames)
        EXPECT_FALSE(Exists(SystemPath(name))) << name;
}

// A stand-in virus scanner, another handle on each new file: it opens each copy
// while it is written (its source's read held until then) and lets go a moment
// later, or only once the install has ended. As the install starts, another
// looks at a leftover of an interrupted run, sharing its deletion.
TEST_F(InstallTest, AScannerHoldingEachNewFileIsWaitedFor) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const struct {
        const char* what;
        DWORD share;
        bool toTheEnd;
    } scanners[] = {{"sharing read, write and delete", all, false},
                    {"not sharing delete", FILE_SHARE_READ | FILE_SHARE_WRITE, false},
                    {"sharing everything, for longer than the wait bound", all, true}};
    for (const auto& s : scanners) {
        SCOPED_TRACE(s.what);
        ClearTargets();
        std::string leftover = TempPath("MFC71.dll"), rules;
        ASSERT_TRUE(WriteFileBytes(leftover, "cut short"));
        ASSERT_TRUE(SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
        HANDLE looking = CreateFileA(leftover.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, looking);
        for (int i = 0; i < 3; i++)
            rules += "hold " + std::string(Set2003[i]) + " 1024\n";
        ArmFault(rules.c_str());
        bool result = false;
        std::thread install([&] { result = InstallRuntime2003(); });
        // Made writable to be deleted, the leftover stays, pending, until the last handle on it goes.
        for (int t = 0; t < 1000 && GetFileAttributesA(leftover.c_str()) & FILE_ATTRIBUTE_READONLY; t++)
            Sleep(10);
        Sleep(300);
        CloseHandle(looking);
        HANDLE scans[3];
        for (int i = 0; i < 3; i++) {
            std::string temp = TempPath(Set2003[i]);
            HANDLE& scan = scans[i];
            scan = INVALID_HANDLE_VALUE;
            for (int t = 0; t < 1000 && scan == INVALID_HANDLE_VALUE; t++, Sleep(10))
                scan = CreateFileA(temp.c_str(), GENERIC_READ, s.share, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(INVALID_HANDLE_VALUE, scan) << temp;
            rules.erase(0, rules.find('\n') + 1);
            rules.empty() ? DisarmFaults() : ArmFault(rules.c_str());
            if (!s.toTheEnd) {
                Sleep(300);
                CloseHandle(scan);
            }
        }
        install.join();
        if (s.toTheEnd) {
            for (HANDLE scan : scans)
                CloseHandle(scan);
        }
        EXPECT_TRUE(result);
        for (int i = 0; i < 3; i++)
            ExpectCopied(Set2003[i]);
    }
}

TEST_F(InstallTest, AFailedCopyDoesNotStopTheOthers) {
    // Held open without sharing for good, the second source cannot be read: it is waited for, within a bound.
    HANDLE held = CreateFileA(Source("msvcp71.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DWORD start = GetTickCount();
    bool result = InstallRuntime2003();
    DWORD took = GetTickCount() - start, heldOpen = CloseHandle(held);

    EXPECT_TRUE(heldOpen);
    EXPECT_FALSE(result);
    EXPECT_LT(took, 6000u) << "waited past the bound";
    ExpectCopied("MFC71.dll");
    EXPECT_FALSE(Exists(SystemPath("msvcp71.dll")));
    EXPECT_FALSE(Exists(SystemPath("Tavorine-msvcp71.dll.tmp")));
    ExpectCopied("msvcr71.dll");
    EXPECT_FALSE(IsRuntime2003Installed());

    // Once the file is free again, a second attempt completes the set.
    EXPECT_TRUE(InstallRuntime2003());
    EXPECT_TRUE(IsRuntime2003Installed());
}

// Disk full in the middle of MFC71.dll (only it is larger than the limit), and
// msvcp71.dll's source failing to read part-way, on the platform's real copy;
// then sources that are no whole 32-bit DLL, copied whole: a 32-bit program too;
// downloads given their full size first and cut short (the checksum field then
// stale, or 0), or with a 64 KB hole across two of the check's reads; another
// library under this one's name; a certificate table running past the end.
TEST_F(InstallTest, OnlyAWholeLibraryTakesALibrarysName) {
    PlantLargeSources(work_);
    // Each library below is the stand-in of the name it is copied to with one defect
    // that its own check must refuse, its checksum field left stale by the change, as
    // copies from other programs' folders have it.
    auto defect = [](const char* name, size_t at, DWORD clear, DWORD set) {
        std::string dll = StandInBytes(name, "source");
        PokePe(&dll, at, (PeekPe(dll, at) & ~clear) | set);
        return dll;
    };
    // A download that stopped within its last section, its export directory whole.
    std::string cut = StandInBytes("msvcr71.dll", "source"), noMz = StandInBytes("msvcp71.dll", "source");
    DWORD last = offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                 (PeekPe(cut, offsetof(IMAGE_NT_HEADERS32, FileHeader.SizeOfOptionalHeader)) & 0xFFFF) +
                 sizeof(IMAGE_SECTION_HEADER) *
                     ((PeekPe(cut, offsetof(IMAGE_NT_HEADERS32, FileHeader.NumberOfSections)) & 0xFFFF) - 1);
    cut.resize(PeekPe(cut, last + offsetof(IMAGE_SECTION_HEADER, PointerToRawData)) +
               PeekPe(cut, last + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData)) - 256);
    noMz.replace(0, 2, "ZM");
    std::string forArm = defect("MFC71.dll", offsetof(IMAGE_NT_HEADERS32, FileHeader.Machine), 0xFFFF, 0x01C4);
    std::string pe32plus = defect("msvcr71.dll", offsetof(IMAGE_NT_HEADERS32, OptionalHeader.Magic), 0xFFFF, 0x20B);
    std::string program = defect("msvcp71.dll", offsetof(IMAGE_NT_HEADERS32, FileHeader.Characteristics),
                                 IMAGE_FILE_DLL, 0);
    std::string certPastEnd = StandInBytes("msvcr71.dll", "source"), big, zeros, zeros0, hole;
    ASSERT_TRUE(ReadFileBytes(Source("MFC71.dll"), &big));
    zeros = zeros0 = big.substr(0, 0x8000) + std::string(big.size() - 0x8000, '\0');
    PokePe(&zeros0, CheckSumField, 0);
    hole = big.substr(0, 0x48000) + std::string(0x10000, '\0') + big.substr(0x58000);
    PokePe(&certPastEnd, offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[4]), certPastEnd.size() - 8);
    PokePe(&certPastEnd, offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[4].Size), 28);
    const struct {
        const char* rule;  // or null, for a bad source
        const char* cut;
        std::string bad;
    } cases[] = {{"write * 512000", "MFC71.dll", ""},
                 {"read msvcp71.dll 131072", "msvcp71.dll", ""},
                 {nullptr, "msvcp71.dll", ""},
                 {nullptr, "MFC71.dll", "<html><body>404 Not Found</body></html>"},
                 {nullptr, "msvcr71.dll", cut},
                 {nullptr, "msvcp71.dll", noMz},
                 {nullptr, "MFC71.dll", forArm},
                 {nullptr, "msvcr71.dll", pe32plus},
                 {nullptr, "msvcp71.dll", program},
                 {nullptr, "MFC71.dll", zeros},
                 {nullptr, "MFC71.dll", zeros0},
                 {nullptr, "MFC71.dll", hole},
                 {nullptr, "msvcr71.dll", StandInBytes("msvcr70.dll", "source")},
                 {nullptr, "msvcr71.dll", certPastEnd}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases << ": " << (c.rule ? c.rule : "bad source")
                                        << " at " << c.cut << ", " << c.bad.size() << " bytes");
        auto arm = [&] { c.rule ? ArmFault(c.rule) : (void)WriteFileBytes(Source(c.cut), c.bad); };
        auto disarm = [&] { c.rule ? DisarmFaults() : PlantLargeSources(work_); };
        ClearTargets();
        int files = CountFiles(SystemDir());
        arm();
        bool result = InstallRuntime2003();
        disarm();
        EXPECT_FALSE(result);
        EXPECT_FALSE(Exists(SystemPath(c.cut)));
        for (int i = 0; i < 3; i++)
            if (strcmp(Set2003[i], c.cut) != 0)
                ExpectSameAsSource(Set2003[i]);
        EXPECT_EQ(files + 2, CountFiles(SystemDir())) << "a stray file is left";
        EXPECT_FALSE(IsRuntime2003Installed());

        EXPECT_TRUE(InstallRuntime2003());
        for (int i = 0; i < 3; i++)
            ExpectSameAsSource(Set2003[i]);

        // A file that stood at the name before is never touched, whatever fails.
        ClearTargets();
        PlantTarget(c.cut, "already there");
        arm();
        InstallRuntime2003();
        disarm();
        ExpectHolds(c.cut, "already there");
    }
}

TEST_F(InstallTest, ADirectoryAtATargetNameIsAFailure) {
    ASSERT_TRUE(MakeDir(SystemPath("msvcp70.dll")));
    EXPECT_FALSE(InstallRuntime2002());
    ExpectCopied("msvcr70.dll");
    EXPECT_FALSE(IsRuntime2002Installed());
}
