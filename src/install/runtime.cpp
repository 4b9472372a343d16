#include "runtime.h"

#include <stdio.h>

#include "copy.h"
#include "virtualization.h"

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

// The library's own name: its target pattern after the "%s\\".
const char* LibraryName(const RuntimeFile& file) { return file.target + 3; }

// A file already at the name is kept and counts as installed; otherwise the
// copy goes to the file's temporary name beside it first.
bool InstallFile(const RuntimeFile& file, const char* dir) {
    char path[MAX_PATH], temp[MAX_PATH];
    if (!FormatTargetPath(path, file.target, dir) || !FormatTargetPath(temp, file.temp, dir))
        return false;
    return IsPlainFilePresent(path) || CopyIntoPlace(file.source, temp, path, LibraryName(file));
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
