#include "virtualization.h"

#include <windows.h>

namespace {

// On with Vista and later for a program without a manifest that runs
// unelevated: a write into the system directory that the user may not make
// lands in the user's VirtualStore and looks like success. Before Vista the
// query itself fails: nothing is virtualized there.
bool IsVirtualizationOn(HANDLE token) {
    DWORD on = 0, size = 0;
    return GetTokenInformation(token, TokenVirtualizationEnabled, &on, sizeof on, &size) && on;
}

}  // namespace

bool AreWritesVirtualized() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool on = IsVirtualizationOn(token);
    CloseHandle(token);
    return on;
}

// With it off, a write that the user may not make fails as it should; an
// install checks that it is off before it copies anything.
void DisableFileVirtualization() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, &token))
        return;
    if (IsVirtualizationOn(token)) {
        DWORD off = 0;
        SetTokenInformation(token, TokenVirtualizationEnabled, &off, sizeof off);
    }
    CloseHandle(token);
}
