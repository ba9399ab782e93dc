// String tables and dialog templates of a module, on systems other than Windows.
//
// On Windows a module carries its resources in its own file, compiled from a resource script,
// and user32 finds them by module handle. Elsewhere a module registers the same resources
// under its module handle when it is loaded and withdraws them when it is unloaded; LoadStringW
// and DialogBoxParamW (platform/user32.h) then find them exactly as they would on Windows.
#pragma once

#include "platform/win32_types.h"

#include <string>
#include <utility>
#include <vector>

namespace platform {

// One control of a dialog template, in dialog units. The identifier is -1 for controls that
// are never addressed (IDC_STATIC).
struct DialogControlTemplate {
    int id;
    std::wstring windowClass; // "Button", "Static", ...
    std::wstring text;
    DWORD style; // the full style, WS_CHILD and WS_VISIBLE included
    DWORD exStyle;
    short x, y, cx, cy;
};

// A dialog template: the classic (DIALOG) or extended (DIALOGEX) form, in dialog units.
struct DialogTemplate {
    bool extended;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::wstring caption;
    WORD fontPointSize;
    std::wstring fontName;
    std::vector<DialogControlTemplate> controls;
};

// Registers a module's string table in one language (replacing one registered before).
void RegisterStringTable(HMODULE module, WORD language,
                         const std::vector<std::pair<UINT, std::wstring>>& strings);
// Registers one dialog template of a module under its integer resource identifier.
void RegisterDialogTemplate(HMODULE module, UINT id, WORD language, const DialogTemplate& dialog);
// Withdraws everything a module registered.
void UnregisterModuleResources(HMODULE module);

// What a module registered, for tests: the dialog template with the given identifier (null
// when there is none) and the language of its string table (0 when it has none).
const DialogTemplate* FindDialogTemplate(HMODULE module, UINT id);
WORD StringTableLanguage(HMODULE module);

} // namespace platform
