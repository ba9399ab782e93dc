// A module for the loading tests: registers a string table under its own handle while it is
// loaded, and counts its loads and unloads in the host's counters.
#include "platform/kernel32_module.h"
#include "platform/user32_resources.h"

namespace {

const char anchor = 0;

struct Registration {
    HMODULE module;
    Registration() : module(platform::ModuleFromAddress(&anchor)) {
        platform::RegisterStringTable(module, 0x0809, {{1, L"loaded"}});
    }
    ~Registration() { platform::UnregisterModuleResources(module); }
};

Registration registration;

} // namespace

extern "C" __attribute__((visibility("default"))) HMODULE OwnModule() {
    return registration.module;
}
