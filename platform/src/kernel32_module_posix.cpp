// Run-time module loading over the dynamic loader.
#include "platform/kernel32_module.h"

#include "platform/text.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <map>

namespace {

struct LoadedModule {
    void* handle;
    int loads;
};

struct ModuleState {
    std::map<HMODULE, LoadedModule> loaded;
    std::string lastError;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

} // namespace

namespace platform {

HMODULE ModuleFromAddress(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr) {
        return nullptr;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

std::string LastModuleError() {
    return State().lastError;
}

} // namespace platform

HMODULE LoadLibraryW(LPCWSTR path) {
    ModuleState& state = State();
    if (path == nullptr) {
        state.lastError = "no module path";
        return nullptr;
    }
    void* handle = dlopen(platform::WideToAnsi(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        state.lastError = error != nullptr ? error : "the module could not be loaded";
        return nullptr;
    }
    // The module's dynamic section lies inside its mapping, so it names the mapping's base.
    link_map* map = nullptr;
    HMODULE module = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
        module = platform::ModuleFromAddress(map->l_ld);
    }
    if (module == nullptr) {
        dlclose(handle);
        state.lastError = "the module's base address could not be found";
        return nullptr;
    }
    LoadedModule& loaded = state.loaded[module];
    if (loaded.loads > 0) {
        // The loader counts its own references; one is enough to keep the module mapped.
        dlclose(handle);
    } else {
        loaded.handle = handle;
    }
    ++loaded.loads;
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    ModuleState& state = State();
    const auto found = state.loaded.find(module);
    if (found == state.loaded.end() || name == nullptr) {
        state.lastError = "not a loaded module";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(found->second.handle, name);
    if (symbol == nullptr) {
        const char* error = dlerror();
        state.lastError = error != nullptr ? error : "no such export";
        return nullptr;
    }
    // POSIX guarantees that an object pointer from dlsym converts to a function pointer.
    FARPROC procedure;
    static_assert(sizeof(procedure) == sizeof(symbol), "function and object pointers differ");
    std::memcpy(&procedure, &symbol, sizeof(symbol));
    return procedure;
}

BOOL FreeLibrary(HMODULE module) {
    ModuleState& state = State();
    const auto found = state.loaded.find(module);
    if (found == state.loaded.end()) {
        return FALSE;
    }
    if (--found->second.loads == 0) {
        void* handle = found->second.handle;
        // Forget the module first: its unload code may call back into this layer.
        state.loaded.erase(found);
        if (dlclose(handle) != 0) {
            return FALSE;
        }
    }
    return TRUE;
}
