// Module resources registered by the modules themselves, and LoadStringW over them.
#include "platform/user32.h"
#include "platform/user32_resources.h"

#include <algorithm>
#include <map>

namespace {

struct ModuleResources {
    WORD stringLanguage = 0;
    std::map<UINT, std::wstring> strings;
    std::map<UINT, platform::DialogTemplate> dialogs;
};

std::map<HMODULE, ModuleResources>& Modules() {
    static std::map<HMODULE, ModuleResources> modules;
    return modules;
}

const ModuleResources* Find(HMODULE module) {
    const auto found = Modules().find(module);
    return found == Modules().end() ? nullptr : &found->second;
}

} // namespace

namespace platform {

void RegisterStringTable(HMODULE module, WORD language,
                         const std::vector<std::pair<UINT, std::wstring>>& strings) {
    ModuleResources& resources = Modules()[module];
    resources.stringLanguage = language;
    resources.strings.clear();
    for (const auto& entry : strings) {
        resources.strings[entry.first] = entry.second;
    }
}

void RegisterDialogTemplate(HMODULE module, UINT id, WORD /*language*/,
                            const DialogTemplate& dialog) {
    Modules()[module].dialogs[id] = dialog;
}

void UnregisterModuleResources(HMODULE module) {
    Modules().erase(module);
}

const DialogTemplate* FindDialogTemplate(HMODULE module, UINT id) {
    const ModuleResources* resources = Find(module);
    if (resources == nullptr) {
        return nullptr;
    }
    const auto found = resources->dialogs.find(id);
    return found == resources->dialogs.end() ? nullptr : &found->second;
}

WORD StringTableLanguage(HMODULE module) {
    const ModuleResources* resources = Find(module);
    return resources == nullptr ? 0 : resources->stringLanguage;
}

} // namespace platform

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax < 0) {
        return 0;
    }
    const ModuleResources* resources = Find(instance);
    if (resources == nullptr) {
        return 0;
    }
    const auto found = resources->strings.find(id);
    if (found == resources->strings.end() || found->second.empty()) {
        return 0;
    }
    const std::wstring& text = found->second;
    if (bufferMax == 0) {
        // The caller gets the resource itself, which is not terminated.
        *reinterpret_cast<LPCWSTR*>(buffer) = text.data();
        return static_cast<int>(text.size());
    }
    const std::size_t copied = std::min(text.size(), static_cast<std::size_t>(bufferMax - 1));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(copied), buffer);
    buffer[copied] = L'\0';
    return static_cast<int>(copied);
}
