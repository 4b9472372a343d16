#pragma once

// Drives a running Tavorine.exe from another process, as a user would:
// finds its windows, reads their texts, posts commands, closes message boxes.
// Every wait is bounded.
#include <windows.h>

#include <ostream>
#include <string>

const DWORD WaitMs = 10000;

struct App {
    PROCESS_INFORMATION pi = {};
    bool running() const { return pi.hProcess != nullptr; }
};

// Path of the Tavorine.exe that this build made.
std::string ProgramPath();

bool StartApp(App* app, const std::string& currentDir, const std::string& exe = ProgramPath());
// Takes hold of a Tavorine that another program started: waits up to waitMs for a main
// dialog of any process.
bool AttachApp(App* app, DWORD waitMs);
// Waits for the process to end; false if it does not within WaitMs.
bool WaitExit(App* app, DWORD* exitCode);
// Ends the process if it still runs, and closes its handles.
void StopApp(App* app);

enum class Kind { Main, About, MessageBox, Any };

// A top-level dialog of the process, of that kind; visible ones only unless asked.
HWND FindDialog(const App& app, Kind kind, bool visibleOnly = true);
HWND WaitDialog(const App& app, Kind kind);
bool WaitGone(HWND hwnd);

std::wstring Text(HWND hwnd);
std::wstring ItemText(HWND dialog, int id);

void PostCommand(HWND dialog, int id);
void PostKey(const App& app, UINT vk);  // to the control that has the focus
void PostClose(HWND dialog);            // the window menu's close

// Returns once the dialog's thread has handled everything posted before:
// a posted push state on one of its buttons is seen. False on timeout.
bool Barrier(HWND button);
bool WaitItemText(HWND dialog, int id, const std::wstring& text);

enum class Icon { None, Warning, Information, Other };
inline const char* Name(Icon i) {
    const char* names[] = {"no icon", "warning", "information", "another icon"};
    return names[static_cast<int>(i)];
}
inline void PrintTo(Icon i, std::ostream* os) { *os << Name(i); }

struct Box {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;
    Icon icon = Icon::None;
};

// Waits for a message box of the process and reads it.
Box WaitMessageBox(const App& app);
void CloseMessageBox(const Box& box);
// Presses an install button and closes the box that answers; returns its text, empty if none came.
std::wstring PressInstall(const App& app, HWND main, int button);
