#include "runtime.h"

#include <stddef.h>
#include <stdio.h>

namespace {

struct RuntimeFile {
    const char* source;
    const char* target;  // pattern, filled with the system directory
    const char* temp;    // the copy's name until it is whole: this program's alone
};

// Probe and copy order is fixed: it is the order the files are listed here.
const RuntimeFile Files2002[] = {
    {".\\VCRUNTIME\\msvcp70.dll", "%s\\msvcp70.dll", "%s\\Tavorine-msvcp70.dll.tmp"},
    {".\\VCRUNTIME\\msvcr70.dll", "%s\\msvcr70.dll", "%s\\Tavorine-msvcr70.dll.tmp"},
};

const RuntimeFile Files2003[] = {
    {".\\VCRUNTIME\\MFC71.dll", "%s\\MFC71.dll", "%s\\Tavorine-MFC71.dll.tmp"},
    {".\\VCRUNTIME\\msvcp71.dll", "%s\\msvcp71.dll", "%s\\Tavorine-msvcp71.dll.tmp"},
    {".\\VCRUNTIME\\msvcr71.dll", "%s\\msvcr71.dll", "%s\\Tavorine-msvcr71.dll.tmp"},
};

const int Count2002 = sizeof Files2002 / sizeof Files2002[0];
const int Count2003 = sizeof Files2003 / sizeof Files2003[0];

// Asked afresh on every call. A failed call, or a directory too long for
// the buffer, leaves no usable directory rather than a half-written one.
bool GetSystemDir(char* dir) {
    UINT len = GetSystemDirectoryA(dir, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) {
        dir[0] = '\0';
        return false;
    }
    return true;
}

// Every probe runs, even after one has failed.
bool IsSetInstalled(const RuntimeFile* files, int count) {
    char dir[MAX_PATH];
    bool haveDir = GetSystemDir(dir);
    bool installed = true;
    for (int i = 0; i < count; i++) {
        char path[MAX_PATH];
        if (!haveDir || !FormatTargetPath(path, files[i].target, dir) || !IsPlainFilePresent(path))
            installed = false;
    }
    return installed;
}

bool AreSourcesPresent(const RuntimeFile* files, int count) {
    bool present = true;
    for (int i = 0; i < count; i++) {
        if (!IsPlainFilePresent(files[i].source))
            present = false;
    }
    return present;
}

// Reads exactly size bytes at offset, or fails.
bool ReadAt(HANDLE file, ULONGLONG offset, void* buf, DWORD size) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, buf, size, &got, &at) && got == size;
}

// A whole 32-bit x86 DLL, as far as its headers tell: the signatures, machine,
// DLL flag and PE32 optional header, and every section's raw data in the file.
bool IsWholeDll(HANDLE file, DWORD size) {
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(file, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    ULONGLONG at = static_cast<DWORD>(dos.e_lfanew);
    IMAGE_NT_HEADERS32 nt;  // only up to the optional header's magic is read
    const DWORD head = offsetof(IMAGE_NT_HEADERS32, OptionalHeader.Magic) + sizeof nt.OptionalHeader.Magic;
    if (!ReadAt(file, at, &nt, head) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 || !(nt.FileHeader.Characteristics & IMAGE_FILE_DLL) ||
        nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return false;
    // The section table, a few headers a read: each read costs more than its bytes.
    ULONGLONG table = at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    IMAGE_SECTION_HEADER sections[16];
    for (DWORD first = 0; first < nt.FileHeader.NumberOfSections; first += 16) {
        DWORD count = nt.FileHeader.NumberOfSections - first < 16 ? nt.FileHeader.NumberOfSections - first : 16;
        if (!ReadAt(file, table + first * ULONGLONG(sizeof sections[0]), sections, count * sizeof sections[0]))
            return false;
        for (DWORD i = 0; i < count; i++)
            if (ULONGLONG(sections[i].PointerToRawData) + sections[i].SizeOfRawData > size)
                return false;
    }
    return true;
}

// What may take a library's name: a copy that holds as many bytes as its
// source, is a whole 32-bit DLL and is on the disk. A read cut short that the
// platform reports as success, a bad download or a file from the wrong package
// never becomes a system library, and none is named before its bytes are written.
bool IsFitToInstall(const char* temp, const char* source) {
    WIN32_FILE_ATTRIBUTE_DATA src;
    if (!GetFileAttributesExA(source, GetFileExInfoStandard, &src) || src.nFileSizeHigh != 0)
        return false;
    // The copy has its source's attributes: a read-only copy loses that bit for
    // the flush, which needs write access, and gets it back after it.
    DWORD attrs = src.dwFileAttributes;
    if (attrs & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(temp, attrs & ~FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileA(temp, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    bool fit = GetFileSize(file, &high) == src.nFileSizeLow && high == 0 && IsWholeDll(file, src.nFileSizeLow) &&
               FlushFileBuffers(file);
    CloseHandle(file);
    if (attrs & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(temp, attrs);
    return fit;
}

// A copy of a read-only source is read-only, and so cannot be deleted as it is.
bool RemoveCopy(const char* temp) {
    SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(temp) != 0;
}

// The copy never replaces: a file at the temporary name can only be one that
// an interrupted run left, and the copy itself finds it, so that an install
// with nothing to remove makes no look-up of its own. One that cannot be
// removed (another run is writing it) fails this file.
bool CopyToTemp(const char* source, const char* temp) {
    if (CopyFileA(source, temp, TRUE))
        return true;
    return GetLastError() == ERROR_FILE_EXISTS && RemoveCopy(temp) && CopyFileA(source, temp, TRUE);
}

// A file already at the name is kept and counts as installed. Otherwise the
// copy goes to the file's temporary name beside it and takes the library's
// name only when it is fit to, by a rename that never replaces: no name but
// this program's own temporary ones is ever deleted.
// A name taken meanwhile counts only if a plain file holds it.
bool InstallFile(const RuntimeFile& file, const char* dir) {
    char path[MAX_PATH], temp[MAX_PATH];
    if (!FormatTargetPath(path, file.target, dir) || !FormatTargetPath(temp, file.temp, dir))
        return false;
    if (IsPlainFilePresent(path))
        return true;
    bool whole = CopyToTemp(file.source, temp) && IsFitToInstall(temp, file.source);
    if (whole && MoveFileA(temp, path))
        return true;
    DWORD error = GetLastError();
    RemoveCopy(temp);
    return whole && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) && IsPlainFilePresent(path);
}

// A rename is on the disk only once its directory is. Best effort: each
// library at its name is already whole and flushed, whatever this does.
void FlushDirectory(const char* dir) {
    HANDLE handle = CreateFileA(dir, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    FlushFileBuffers(handle);
    CloseHandle(handle);
}

// Every file is attempted, even after one has failed; nothing is rolled back.
// The names are on the disk before the result is reported.
bool InstallSet(const RuntimeFile* files, int count) {
    if (!AreSourceFilesPresent())
        return false;
    char dir[MAX_PATH];
    if (!GetSystemDir(dir))
        return false;
    bool installed = true;
    for (int i = 0; i < count; i++) {
        if (!InstallFile(files[i], dir))
            installed = false;
    }
    FlushDirectory(dir);
    return installed;
}

}  // namespace

bool FormatTargetPath(char* out, const char* pattern, const char* dir) {
    int len = snprintf(out, MAX_PATH, pattern, dir);
    if (len < 0 || len >= MAX_PATH) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool IsPlainFilePresent(const char* path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsRuntime2002Installed() { return IsSetInstalled(Files2002, Count2002); }
bool IsRuntime2003Installed() { return IsSetInstalled(Files2003, Count2003); }

// The 2003 set first, then the 2002 set; all five are needed for either install.
bool AreSourceFilesPresent() {
    bool first = AreSourcesPresent(Files2003, Count2003);
    bool second = AreSourcesPresent(Files2002, Count2002);
    return first && second;
}

bool InstallRuntime2002() { return InstallSet(Files2002, Count2002); }
bool InstallRuntime2003() { return InstallSet(Files2003, Count2003); }

// Vista and later run a program without a manifest, unelevated, with file
// virtualization: a write into the system directory that the user may not
// make would land in the user's VirtualStore and look like success. With it
// off, such a write fails as it should. Before Vista the query itself fails.
void DisableFileVirtualization() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, &token))
        return;
    DWORD on = 0, size = 0;
    if (GetTokenInformation(token, TokenVirtualizationEnabled, &on, sizeof on, &size) && on) {
        DWORD off = 0;
        SetTokenInformation(token, TokenVirtualizationEnabled, &off, sizeof off);
    }
    CloseHandle(token);
}
