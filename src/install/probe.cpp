#include "probe.h"

#include <windows.h>

// A name lookup, not an open: a file that another program holds, or that the
// run may not read, is still there.
bool IsPlainFilePresent(const char* path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
