// kernel32 calls used by the file library and the stitcher: page memory, code-page
// conversion and file deletion. On Windows these are the system's own functions; elsewhere
// this layer provides them with the behaviour the deliverables rely on:
//
// - VirtualAlloc commits zero-filled read-write pages (only a null address with MEM_COMMIT
//   and PAGE_READWRITE is supported); VirtualFree with MEM_RELEASE and size 0 releases a
//   block that VirtualAlloc returned, and fails on any other pointer.
// - The "ANSI code page" is UTF-8. MultiByteToWideChar turns every invalid or truncated
//   sequence into U+FFFD instead of dropping it; WideCharToMultiByte joins surrogate pairs
//   and turns a lone surrogate into U+FFFD. Both follow the Win32 length conventions: a
//   source length of -1 includes the terminating NUL, a destination size of 0 asks for the
//   length needed, and a destination that is too small fails with 0.
// - DeleteFileA removes a file (not a folder).
#pragma once

#include "platform/win32_types.h"

#ifndef _WIN32

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceBytes,
                        LPWSTR destination, int destinationChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source, int sourceChars,
                        LPSTR destination, int destinationBytes, LPCCH defaultChar,
                        LPBOOL usedDefaultChar);

BOOL DeleteFileA(LPCSTR path);

#endif // _WIN32
