// Registration of the module's string table and dialogs, made at build time from the
// resource script, for systems where resources are not part of the module's file.
#pragma once

#include "platform/win32_types.h"

void RegisterModuleResources(HMODULE module);
