#pragma once

#include <windows.h>

// The program title, code page 932; written once by WinMain, then only read.
extern char AppCaption[100];

INT_PTR CALLBACK MainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
