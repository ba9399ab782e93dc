// user32 calls used by the deliverables. On Windows these are the system's own functions.
// Elsewhere this layer provides stand-ins that behave as the deliverables expect of them and
// that tests and host programs can script (see platform/user32_script.h):
//
// - MessageBoxA and MessageBoxW write "<caption>: <text>" and a line break to standard error
//   (a null caption is the system's default, "Error"), record the call, and return the
//   scripted answer (IDOK unless a script says otherwise).
// - LoadStringW reads the string table that a module registered under its module handle
//   (platform/user32_resources.h), with the Win32 conventions: the text is cut to the buffer
//   size less one and terminated, 0 means no such string, and a buffer size of 0 hands back a
//   read-only pointer to the stored text instead of a copy.
// - DialogBoxParamW runs a dialog from a template that the module registered: it makes the
//   dialog and its controls, sends WM_INITDIALOG with the initialisation parameter, then the
//   scripted clicks and commands, and returns what the procedure gave EndDialog. A dialog that
//   is still open when its script runs out is closed as the system closes one: WM_CLOSE, and
//   when the procedure leaves that to the system, WM_COMMAND with IDCANCEL.
// - Window user data, parents, button check states and the cursor are kept per window as the
//   system keeps them; dialogs, controls and their handles exist only while a dialog runs.
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

// Word packing and integer resource names.
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                             \
    ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff)))     \
                                                      << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// Window messages.
#define WM_CLOSE 0x0010u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u

// Window, dialog and control styles, as resource templates use them.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define BS_CHECKBOX 0x2u
#define BS_AUTOCHECKBOX 0x3u
#define BS_RADIOBUTTON 0x4u
#define BS_AUTORADIOBUTTON 0x9u
#define BS_TYPEMASK 0xFu
#define SS_LEFT 0x0u

// Button notifications and check states.
#define BN_CLICKED 0
#define BST_UNCHECKED 0x0u
#define BST_CHECKED 0x1u
#define BST_INDETERMINATE 0x2u

// Window data slots.
#define GWLP_USERDATA (-21)

// Standard cursors.
#define IDC_ARROW MAKEINTRESOURCEW(32512)

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
HWND GetParent(HWND window);

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
HCURSOR SetCursor(HCURSOR cursor);

#endif // _WIN32
