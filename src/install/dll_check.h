// Whether a copy is the library it claims to be.
#pragma once

#include <windows.h>

// True if the open file, of size bytes, is a whole 32-bit x86 DLL whose export
// directory names it as name (in any capitals) and whose bytes match its own
// checksum, where its header carries one. Reads the file; never writes it.
bool IsWholeDll(HANDLE file, DWORD size, const char* name);
