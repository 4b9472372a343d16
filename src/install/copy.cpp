#include "copy.h"

#include <windows.h>

#include "dll_check.h"
#include "probe.h"

namespace {

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

// The platform documents both codes for a copy or a rename onto a name that is taken.
bool IsNameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// What may take a library's name: a copy that holds as many bytes as its
// source, is a whole 32-bit DLL that is that library, and is on the disk. A
// read cut short that the platform reports as success, a bad download or a
// file from the wrong package never becomes a system library, and none is
// named before its bytes are written. Other readers may have it open meanwhile.
bool IsFitToInstall(const char* source, const char* temp, const char* name, int* pauses) {
    WIN32_FILE_ATTRIBUTE_DATA src;
    if (!GetFileAttributesExA(source, GetFileExInfoStandard, &src) || src.nFileSizeHigh != 0)
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
               IsWholeDll(handle, src.nFileSizeLow, name) && FlushFileBuffers(handle);
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
        if (!IsNameTaken(GetLastError())) {
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

}  // namespace

// The copy takes the library's name only when it is fit to, by a rename that
// never replaces: no name but this program's own temporary ones is ever
// deleted. A name taken meanwhile counts only if a plain file holds it.
bool CopyIntoPlace(const char* source, const char* temp, const char* path, const char* name) {
    int pauses = 0;
    bool whole = CopyToTemp(source, temp, &pauses) && IsFitToInstall(source, temp, name, &pauses);
    if (whole && Rename(temp, path, &pauses))
        return true;
    DWORD error = GetLastError();
    RemoveCopy(temp, &pauses);
    return whole && IsNameTaken(error) && IsPlainFilePresent(path);
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
