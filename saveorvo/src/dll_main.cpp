// The module's entry point, its string loader and the five exports.
#include "saveorvo.h"

#include "orvo_class_desc.h"
#include "platform/kernel32_module.h"
#include "platform/user32.h"
#include "resource.h"

HINSTANCE moduleInstance = nullptr;

namespace {

const int stringBufferSize = 256;
MCHAR stringBuffer[stringBufferSize];

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        moduleInstance = instance;
        break;
    case DLL_PROCESS_DETACH:
        moduleInstance = nullptr;
        break;
    default:
        break;
    }
    return TRUE;
}

const MCHAR* LoadResourceString(int id) {
    if (moduleInstance == nullptr) {
        return nullptr;
    }
    return LoadStringW(moduleInstance, id, stringBuffer, stringBufferSize) != 0 ? stringBuffer
                                                                                : nullptr;
}

const MCHAR* LibDescription() {
    return LoadResourceString(IDS_LIB_DESCRIPTION);
}

int LibNumberClasses() {
    return 1;
}

ClassDesc* LibClassDesc(int i) {
    // Made on the first call whatever i is, and destroyed when the module is unloaded.
    static OrvoClassDesc descriptor;
    return i == 0 ? &descriptor : nullptr;
}

ULONG LibVersion() {
    return VERSION_3DSMAX;
}

ULONG CanAutoDefer() {
    return 1;
}
