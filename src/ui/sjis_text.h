// Showing the program's own texts, stored as code page 932 (Shift-JIS), so
// that they read right whatever the system's code page for non-Unicode
// programs: a Western, Chinese or Korean Windows, or one set to UTF-8.
#pragma once

#include <windows.h>

void SetSjisText(HWND window, const char* text);
void SjisMessageBox(HWND owner, const char* text, const char* caption, UINT type);
