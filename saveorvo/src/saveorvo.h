// Module-wide pieces of the plug-in: its module handle, its entry point and the string loader
// that every description and message goes through.
#pragma once

#include "max.h"

// The module's handle from process attach to process detach; null outside that time.
extern HINSTANCE moduleInstance;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Loads string resource id into the module's one shared buffer of 256 code units and returns
// the buffer, or null when the module handle is not set or the string does not exist. The next
// call overwrites the text, so a caller that keeps a text copies it first.
const MCHAR* LoadResourceString(int id);

// The exports the host looks up by name.
extern "C" {
const MCHAR* LibDescription();
int LibNumberClasses();
ClassDesc* LibClassDesc(int i);
ULONG LibVersion();
ULONG CanAutoDefer();
}
