// The two Visual C++ .NET runtime sets: where they come from, where they go,
// whether they are there, and copying them without ever overwriting a file.
#pragma once

#include <windows.h>

#include "probe.h"           // IsPlainFilePresent
#include "virtualization.h"  // DisableFileVirtualization

bool IsRuntime2002Installed();
bool IsRuntime2003Installed();
bool AreSourceFilesPresent();

// Copy a set into the system directory; a file already there is kept and
// counts as installed. True only if every file of the set is in place.
bool InstallRuntime2002();
bool InstallRuntime2003();

// Formats a target pattern ("%s\\name.dll") with a directory into a MAX_PATH
// buffer. False, with an empty buffer, when the result would not fit.
bool FormatTargetPath(char* out, const char* pattern, const char* dir);
