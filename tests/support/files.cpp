#include "files.h"

#include <windows.h>
#include <imagehlp.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>

const char* const RuntimeNames[5] = {"MFC71.dll", "msvcp71.dll", "msvcr71.dll", "msvcp70.dll", "msvcr70.dll"};

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes->append(buf, got);
    CloseHandle(h);
    return true;
}

bool SameBytes(const std::string& path, const std::string& other) {
    std::string a, b;
    return ReadFileBytes(path, &a) && ReadFileBytes(other, &b) && a == b;
}

bool MakeDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& path) {
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

bool DenyWrites(const std::string& dir, bool deny) {
    static DWORD saved[256];
    PSECURITY_DESCRIPTOR sd = saved;
    DWORD need = 0;
    if (deny && (!GetFileSecurityA(dir.c_str(), DACL_SECURITY_INFORMATION, saved, sizeof saved, &need) ||
                 !ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;GRGX;;;WD)", SDDL_REVISION_1, &sd,
                                                                       nullptr)))
        return false;
    bool set = SetFileSecurityA(dir.c_str(), DACL_SECURITY_INFORMATION, sd);
    if (deny)
        LocalFree(sd);
    return set;
}

std::string SystemDir() {
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string SystemPath(const char* name) { return SystemDir() + "\\" + name; }

std::string TempPath(const char* name) { return SystemPath(("Tavorine-" + std::string(name) + ".tmp").c_str()); }

void ClearTargets() {
    for (const char* name : RuntimeNames) {
        RemoveTree(SystemPath(name));
        RemoveTree(TempPath(name));
    }
}

std::string BuildFile(const char* name) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = '\0';
    *strrchr(path, '\\') = '\0';  // the test programs sit one folder below the build's top
    return std::string(path) + "\\" + name;
}

std::string WithChecksum(std::string dll) {
    DWORD header = 0, sum = 0;
    if (IMAGE_NT_HEADERS* nt = CheckSumMappedFile(&dll[0], dll.size(), &header, &sum))
        nt->OptionalHeader.CheckSum = sum;
    return dll;
}

void PokePe(std::string* dll, size_t at, unsigned long value) {
    DWORD pe;
    memcpy(&pe, &(*dll)[0x3C], 4);
    memcpy(&(*dll)[pe + at], &value, 4);
}

unsigned long PeekPe(const std::string& dll, size_t at) {
    DWORD pe, value;
    memcpy(&pe, &dll[0x3C], 4);
    memcpy(&value, &dll[pe + at], 4);
    return value;
}

std::string StandInBytes(const char* name, const char* tag) {
    std::string dll;
    if (!ReadFileBytes(BuildFile(("standin\\" + std::string(name)).c_str()), &dll))
        ReadFileBytes(BuildFile("standin\\MFC71.dll"), &dll);  // a name that no library has
    char text[160];
    snprintf(text, sizeof text, "Tavorine test stand-in for %s (%s), not a Microsoft library\r\n", name, tag);
    return WithChecksum(dll + text);
}

bool Holds(const std::string& path, const char* name, const char* tag) {
    std::string bytes;
    return ReadFileBytes(path, &bytes) && bytes == StandInBytes(name, tag);
}

void PlantSources(const std::string& dir, const char* const* names, int count) {
    std::string folder = dir + "\\VCRUNTIME";
    MakeDir(folder);
    for (int i = 0; i < count; i++)
        WriteFileBytes(folder + "\\" + names[i], StandInBytes(names[i], "source"));
}

void PlantAllSources(const std::string& dir) { PlantSources(dir, RuntimeNames, 5); }

void PlantLargeSources(const std::string& dir) {
    const DWORD sizes[3] = {1060864, 499712, 348160};  // MFC71, msvcp71, msvcr71
    PlantAllSources(dir);
    unsigned seed = 12345;
    for (int i = 0; i < 3; i++) {
        std::string bytes = StandInBytes(RuntimeNames[i], "source");
        while (bytes.size() < sizes[i]) {
            seed = seed * 1103515245u + 12345u;
            bytes += static_cast<char>(seed >> 24);
        }
        WriteFileBytes(dir + "\\VCRUNTIME\\" + RuntimeNames[i], WithChecksum(bytes));
    }
}

// The run's fault library reads this file of the test prefix (scripts/wine-exec.sh).
const char FaultRules[] = "C:\\tavorine-faults";

void ArmFault(const char* rule) { WriteFileBytes(FaultRules, rule); }
void DisarmFaults() { DeleteFileA(FaultRules); }
std::string FaultFile(const char* suffix) { return FaultRules + std::string(suffix); }

int CountFiles(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    int count = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do
            count += !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return count;
}

std::string FreshDir(const char* label) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%stavorine-%s-%lu", temp, label, GetCurrentProcessId());
    RemoveTree(path);
    MakeDir(path);
    return path;
}
