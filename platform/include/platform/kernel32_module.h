// Loading modules at run time: LoadLibraryW, GetProcAddress and FreeLibrary, with the module
// entry point's reasons. On Windows these are the system's own.
//
// Elsewhere a module is a shared object opened with dlopen (RTLD_NOW | RTLD_LOCAL, so its
// symbols never mix with the host's). Its module handle is, as on Windows, the address at
// which the module is mapped, so that code inside a module can find its own handle from any
// address within it (platform::ModuleFromAddress) while it is being loaded, before
// LoadLibraryW has returned. Loads are counted: a module stays mapped until every
// LoadLibraryW is matched by a FreeLibrary.
#pragma once

#include "platform/win32_types.h"

#include <string>

#ifndef _WIN32

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Windows declares INT_PTR (WINAPI*)(); here it is the one function type that GCC lets a
// caller cast to any other without a warning, since every caller casts it.
typedef void (*FARPROC)();

HMODULE LoadLibraryW(LPCWSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

namespace platform {

// The handle of the loaded module that contains the address, or null.
HMODULE ModuleFromAddress(const void* address);

} // namespace platform

#endif // _WIN32

namespace platform {

// The loader's text for the last LoadLibraryW or GetProcAddress that failed.
std::string LastModuleError();

// GetProcAddress for an export of a known function type. Windows gives every export one
// function type; the plain function pointer in between tells the compiler that the cast is
// meant.
template <typename Function> Function GetProcAddressAs(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace platform
