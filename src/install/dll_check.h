// Whether a copy is the library it claims to be.
#pragma once

#include <windows.h>

// True if the open file, of size bytes, is a whole 32-bit x86 DLL whose export
// directory names it as name (in any capitals): its bytes match its own
// checksum, or they hold no run of zeros as long as a download leaves where
// data never came. Reads the whole file once; never writes it.
bool IsWholeDll(HANDLE file, DWORD size, const char* name);
