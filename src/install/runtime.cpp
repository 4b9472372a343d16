#include "runtime.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

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

// The library's own name: its target pattern after the "%s\\".
const char* LibraryName(const RuntimeFile& file) { return file.target + 3; }

// Where len bytes at rva lie in the file, if a section holds them all there.
bool RvaToOffset(const BYTE* table, DWORD sections, DWORD rva, DWORD len, DWORD* offset) {
    for (DWORD i = 0; i < sections; i++) {
        IMAGE_SECTION_HEADER s;
        memcpy(&s, table + i * sizeof s, sizeof s);
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.SizeOfRawData &&
            len <= s.SizeOfRawData - (rva - s.VirtualAddress)) {
            *offset = s.PointerToRawData + (rva - s.VirtualAddress);
            return true;
        }
    }
    return false;
}

// The export directory names the library, in any capitals: another library's
// bytes under this name would leave its importers without their functions.
bool ExportsAs(HANDLE file, const BYTE* table, DWORD sections, const IMAGE_DATA_DIRECTORY& exports,
               const char* name) {
    IMAGE_EXPORT_DIRECTORY dir;
    char found[MAX_PATH];
    DWORD len = static_cast<DWORD>(strlen(name)) + 1, at;
    return exports.Size >= sizeof dir && RvaToOffset(table, sections, exports.VirtualAddress, sizeof dir, &at) &&
           ReadAt(file, at, &dir, sizeof dir) && RvaToOffset(table, sections, dir.Name, len, &at) &&
           ReadAt(file, at, found, len) && found[len - 1] == '\0' && _stricmp(found, name) == 0;
}

const DWORD Chunk = 65536;

// The PE checksum as linkers and signing tools write it: the file's 16-bit
// words summed with their carries folded back, the checksum field itself left
// out, and the file's length added. One pass, chunk by chunk; the first chunk
// is already in the buffer.
bool ChecksumMatches(HANDLE file, DWORD size, BYTE* chunk, DWORD field, DWORD expected) {
    DWORD sum = 0;
    for (DWORD at = 0; at < size; at += Chunk) {
        DWORD n = size - at < Chunk ? size - at : Chunk;
        if (at > 0 && !ReadAt(file, at, chunk, n))
            return false;
        if (n & 1)
            chunk[n++] = 0;  // the last byte of an odd length counts as a word
        for (DWORD i = 0; i < n; i += 2) {
            if (at + i - field >= 4) {
                sum += chunk[i] | chunk[i + 1] << 8;
                sum = (sum & 0xFFFF) + (sum >> 16);
            }
        }
    }
    return sum + size == expected;
}

// A whole 32-bit x86 DLL that is the library it is named as, as far as its
// headers and its own checksum tell: the signatures, machine, DLL flag and PE32
// optional header; every section's raw data and the certificate table in the
// file; the export directory naming the library; and, where the header carries
// a checksum, every byte. A download given its full size before its bytes came
// has the right size and headers and zeros after them: only the checksum
// shows it. Headers lie in the first chunk.
bool IsWholeDll(HANDLE file, DWORD size, const char* name) {
    BYTE chunk[Chunk];
    DWORD first = size < Chunk ? size : Chunk;
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (first < sizeof dos || !ReadAt(file, 0, chunk, first))
        return false;
    memcpy(&dos, chunk, sizeof dos);
    DWORD at = static_cast<DWORD>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || at > first || first - at < sizeof nt)
        return false;
    memcpy(&nt, chunk + at, sizeof nt);
    const IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
    DWORD table = at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    DWORD sections = nt.FileHeader.NumberOfSections;
    if (nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
        !(nt.FileHeader.Characteristics & IMAGE_FILE_DLL) || opt.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
        nt.FileHeader.SizeOfOptionalHeader < sizeof opt || opt.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT ||
        table > first || (first - table) / sizeof(IMAGE_SECTION_HEADER) < sections)
        return false;
    for (DWORD i = 0; i < sections; i++) {
        IMAGE_SECTION_HEADER s;
        memcpy(&s, chunk + table + i * sizeof s, sizeof s);
        if (ULONGLONG(s.PointerToRawData) + s.SizeOfRawData > size)
            return false;
    }
    const IMAGE_DATA_DIRECTORY& certificates = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    if (opt.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
        ULONGLONG(certificates.VirtualAddress) + certificates.Size > size)
        return false;
    // The export directory is read with small buffers of its own: the chunk
    // still holds the start of the file for the checksum.
    if (!ExportsAs(file, chunk + table, sections, opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT], name))
        return false;
    return opt.CheckSum == 0 ||
           ChecksumMatches(file, size, chunk, at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum), opt.CheckSum);
}

// Virus scanners, indexers and backup agents open a new file in the system
// directory for a moment right after it is written. A step that finds a file
// held that way pauses and tries again, within one bound for all the steps of
// one file. Access denied means held only where a file is there to hold (one
// pending deletion gives it); where nothing is, the run may not write here.
// Only a failure calls this: the normal path makes no extra call.
const DWORD PauseMs = 50;
const int MaxPauses = 60;  // about three seconds a file

bool Pause(int* pauses) {
    if (*pauses >= MaxPauses)
        return false;
    ++*pauses;
    Sleep(PauseMs);
    return true;
}

bool MayWait(const char* path, int* pauses) {
    DWORD error = GetLastError();
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                (error == ERROR_ACCESS_DENIED && IsPlainFilePresent(path));
    bool waited = held && Pause(pauses);
    SetLastError(error);  // the caller may still tell the failures apart
    return waited;
}

// What may take a library's name: a copy that holds as many bytes as its
// source, is a whole 32-bit DLL that is that library, and is on the disk. A
// read cut short that the platform reports as success, a bad download or a
// file from the wrong package never becomes a system library, and none is
// named before its bytes are written. Other readers may have it open meanwhile.
bool IsFitToInstall(const char* temp, const RuntimeFile& file, int* pauses) {
    WIN32_FILE_ATTRIBUTE_DATA src;
    if (!GetFileAttributesExA(file.source, GetFileExInfoStandard, &src) || src.nFileSizeHigh != 0)
        return false;
    // A new file's attributes, not its source's: a read-only bit from a CD
    // would stop the next installer that must replace the library. The copy
    // has its source's, so a source with a new file's needs no call.
    bool plain = src.dwFileAttributes == FILE_ATTRIBUTE_ARCHIVE;
    HANDLE handle;
    while (!(plain || SetFileAttributesA(temp, FILE_ATTRIBUTE_ARCHIVE)) ||
           (handle = CreateFileA(temp, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                 nullptr)) == INVALID_HANDLE_VALUE) {
        if (!MayWait(temp, pauses))
            return false;
    }
    DWORD high = 0;
    bool fit = GetFileSize(handle, &high) == src.nFileSizeLow && high == 0 &&
               IsWholeDll(handle, src.nFileSizeLow, LibraryName(file)) && FlushFileBuffers(handle);
    CloseHandle(handle);
    return fit;
}

// A leftover or a failed copy may be read-only, as copied from a read-only
// source, and cannot be deleted as it is.
bool RemoveCopy(const char* temp, int* pauses) {
    SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    while (!DeleteFileA(temp)) {
        if (!MayWait(temp, pauses))
            return false;
    }
    return true;
}

// The copy never replaces: a file at the temporary name can only be one that
// an interrupted run left, and the copy itself finds it, so that an install
// with nothing to remove makes no look-up of its own. One still there once
// removed is pending deletion, held open by another program. One that cannot
// be removed (another run is writing it) fails this file.
bool CopyToTemp(const char* source, const char* temp, int* pauses) {
    bool removed = false;
    while (!CopyFileA(source, temp, TRUE)) {
        if (GetLastError() != ERROR_FILE_EXISTS) {
            if (!MayWait(temp, pauses))
                return false;
        } else if (removed) {
            if (!Pause(pauses))
                return false;
        } else {
            if (!RemoveCopy(temp, pauses))
                return false;
            removed = true;
        }
    }
    return true;
}

// Never replaces; a scanner that holds the copy without sharing its deletion
// holds up the rename too.
bool Rename(const char* temp, const char* path, int* pauses) {
    while (!MoveFileA(temp, path)) {
        if (!MayWait(temp, pauses))
            return false;
    }
    return true;
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
    int pauses = 0;
    bool whole = CopyToTemp(file.source, temp, &pauses) && IsFitToInstall(temp, file, &pauses);
    if (whole && Rename(temp, path, &pauses))
        return true;
    DWORD error = GetLastError();
    RemoveCopy(temp, &pauses);
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

// On with Vista and later for a program without a manifest that runs
// unelevated: a write into the system directory that the user may not make
// lands in the user's VirtualStore and looks like success. Before Vista the
// query itself fails: nothing is virtualized there.
bool IsVirtualizationOn(HANDLE token) {
    DWORD on = 0, size = 0;
    return GetTokenInformation(token, TokenVirtualizationEnabled, &on, sizeof on, &size) && on;
}

bool AreWritesVirtualized() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool on = IsVirtualizationOn(token);
    CloseHandle(token);
    return on;
}

// Every file is attempted, even after one has failed; nothing is rolled back.
// A run whose writes only its VirtualStore would see copies nothing.
bool InstallSet(const RuntimeFile* files, int count) {
    if (!AreSourceFilesPresent() || AreWritesVirtualized())
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

// With it off, a write that the user may not make fails as it should; an
// install checks that it is off before it copies anything.
void DisableFileVirtualization() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, &token))
        return;
    if (IsVirtualizationOn(token)) {
        DWORD off = 0;
        SetTokenInformation(token, TokenVirtualizationEnabled, &off, sizeof off);
    }
    CloseHandle(token);
}
