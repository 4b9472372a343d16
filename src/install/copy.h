// Putting one library at its name: a copy under a temporary name of this
// program's own, checked, flushed and renamed, never replacing a file.
#pragma once

// Copies source to temp and renames the copy to path once it is the whole
// library name and on the disk. True if it took the name, or a plain file took
// it meanwhile. A file that another program holds is waited for, within a
// bound; a failed copy is removed.
bool CopyIntoPlace(const char* source, const char* temp, const char* path, const char* name);

// Puts the renames into dir on the disk, as far as the platform allows.
void FlushDirectory(const char* dir);
