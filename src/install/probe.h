// Whether a plain file stands at a name: the one look at the file system that
// the queries and the copy share.
#pragma once

// True if something of that name exists and is not a directory.
bool IsPlainFilePresent(const char* path);
