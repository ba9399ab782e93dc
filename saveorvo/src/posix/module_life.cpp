// The module's life on systems other than Windows, where no loader calls DllMain: loading the
// module registers its resources and attaches it, unloading detaches it and withdraws them,
// so the module handle is set exactly while the module is loaded, as on Windows.
#include "module_resources.h"
#include "platform/kernel32_module.h"
#include "platform/user32_resources.h"
#include "saveorvo.h"

namespace {

const char anchor = 0;

class ModuleLife {
public:
    ModuleLife() : module(platform::ModuleFromAddress(&anchor)) {
        RegisterModuleResources(module);
        DllMain(module, DLL_PROCESS_ATTACH, nullptr);
    }
    ~ModuleLife() {
        DllMain(module, DLL_PROCESS_DETACH, nullptr);
        platform::UnregisterModuleResources(module);
    }
    ModuleLife(const ModuleLife&) = delete;
    ModuleLife& operator=(const ModuleLife&) = delete;

private:
    HMODULE module;
};

ModuleLife life;

} // namespace
