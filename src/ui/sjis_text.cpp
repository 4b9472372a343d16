#include "sjis_text.h"

namespace {

const int MaxText = 256;  // wide characters; the longest text, the version line, is under 110 bytes

// Through the wide functions, converted from 932 whatever the ANSI code page.
// Where 932 is not installed (a Western Windows 2000 or XP without East Asian
// support), the conversion fails and the ANSI function shows what it can.
bool ToWide(const char* text, wchar_t* wide) {
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, wide, MaxText) != 0;
}

}  // namespace

void SetSjisText(HWND window, const char* text) {
    wchar_t wide[MaxText];
    if (ToWide(text, wide))
        SetWindowTextW(window, wide);
    else
        SetWindowTextA(window, text);
}

void SjisMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    wchar_t wideText[MaxText], wideCaption[MaxText];
    if (ToWide(text, wideText) && ToWide(caption, wideCaption))
        MessageBoxW(owner, wideText, wideCaption, type);
    else
        MessageBoxA(owner, text, caption, type);
}
