// user32 calls used by the deliverables. On Windows these are the system's own functions.
// Elsewhere this layer provides stand-ins that behave as the deliverables expect of them and
// that tests and host programs can script (see platform/user32_script.h):
//
// - MessageBoxA and MessageBoxW write "<caption>: <text>" and a line break to standard error
//   (a null caption is the system's default, "Error"), record the call, and return the
//   scripted answer (IDOK unless a script says otherwise).
#pragma once

#include "platform/win32_types.h"

#ifndef _WIN32

// Message box styles and answers.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define IDOK 1
#define IDCANCEL 2

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

#endif // _WIN32
