// The Win32 types and constants that the deliverables use. On Windows they come from
// <windows.h>; elsewhere they are declared here with the same names and widths, so that code
// written against the Win32 interface compiles unchanged on both.
//
// Outside Windows, wchar_t is 32 bits wide but holds UTF-16 code units, exactly as a Windows
// WCHAR does: text converted by this layer carries surrogate pairs, never whole code points.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t UINT;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::int64_t LONG_PTR;
typedef std::uint64_t ULONG_PTR;
typedef std::int64_t INT_PTR;
typedef std::uint64_t UINT_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef std::size_t SIZE_T;
typedef wchar_t WCHAR;
typedef char CHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCCH;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef const wchar_t* LPCWCH;
typedef BOOL* LPBOOL;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles are distinct pointer types, as with STRICT on Windows.
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;
typedef void* HANDLE;

#define WINAPI
#define CALLBACK
#define APIENTRY

// Code pages.
#define CP_ACP 0u
#define CP_UTF8 65001u

// Page memory.
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

#endif // _WIN32
