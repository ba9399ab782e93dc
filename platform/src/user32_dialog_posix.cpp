// Windows, modal dialogs and the cursor on systems other than Windows.
//
// A dialog exists only while DialogBoxParamW runs: it is made from the module's registered
// template, driven by its script, and destroyed with its controls before the call returns, so
// its handles are not reused while a caller could still hold them within that call.
#include "platform/user32.h"
#include "platform/user32_resources.h"
#include "platform/user32_script.h"

#include <cstdint>
#include <deque>
#include <map>

namespace {

struct Window {
    HWND parent = nullptr; // the owner of a dialog, the dialog of a control
    LONG_PTR userData = 0;
    // Controls.
    int id = 0;
    std::wstring windowClass;
    DWORD style = 0;
    UINT check = BST_UNCHECKED;
    // Dialogs.
    bool isDialog = false;
    std::vector<HWND> controls; // in template order
    bool ended = false;
    INT_PTR result = 0;
};

struct DialogState {
    std::map<HWND, Window> windows;
    std::uintptr_t nextHandle = 0x10010;
    std::deque<std::vector<platform::DialogAction>> scripts;
    std::vector<platform::DialogRecord> shown;
    HCURSOR cursor = nullptr;
};

DialogState& State() {
    static DialogState state;
    return state;
}

Window* FindWindow(HWND window) {
    auto& windows = State().windows;
    const auto found = windows.find(window);
    return found == windows.end() ? nullptr : &found->second;
}

HWND NewWindow(Window window) {
    DialogState& state = State();
    HWND handle = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 0x10;
    state.windows.emplace(handle, std::move(window));
    return handle;
}

bool IsButtonWithCheck(const Window& control) {
    if (control.windowClass != L"Button") {
        return false;
    }
    const DWORD type = control.style & BS_TYPEMASK;
    return type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
}

HWND CreateDialogWindow(HWND owner, const platform::DialogTemplate& dialogTemplate) {
    Window dialog;
    dialog.parent = owner;
    dialog.isDialog = true;
    HWND handle = NewWindow(dialog);
    std::vector<HWND> controls;
    for (const auto& item : dialogTemplate.controls) {
        Window control;
        control.parent = handle;
        control.id = item.id;
        control.windowClass = item.windowClass;
        control.style = item.style;
        controls.push_back(NewWindow(control));
    }
    FindWindow(handle)->controls = controls;
    return handle;
}

void DestroyDialogWindow(HWND dialog) {
    Window* window = FindWindow(dialog);
    if (window == nullptr) {
        return;
    }
    for (HWND control : window->controls) {
        State().windows.erase(control);
    }
    State().windows.erase(dialog);
}

std::map<int, UINT> CheckStates(HWND dialog) {
    std::map<int, UINT> states;
    for (HWND handle : FindWindow(dialog)->controls) {
        const Window& control = *FindWindow(handle);
        if (control.id != -1 && IsButtonWithCheck(control)) {
            states[control.id] = control.check;
        }
    }
    return states;
}

// What the system does to a button's check state when the user clicks it.
void ApplyClick(HWND dialog, HWND clicked) {
    Window& control = *FindWindow(clicked);
    const DWORD type = control.style & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX) {
        control.check = control.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        return;
    }
    if (type != BS_AUTORADIOBUTTON) {
        return;
    }
    // The radio group runs from the control that starts it (WS_GROUP) to the next such.
    const std::vector<HWND>& controls = FindWindow(dialog)->controls;
    std::size_t at = 0;
    while (controls[at] != clicked) {
        ++at;
    }
    std::size_t first = at;
    while (first > 0 && (FindWindow(controls[first])->style & WS_GROUP) == 0) {
        --first;
    }
    for (std::size_t i = first; i < controls.size(); ++i) {
        if (i > first && (FindWindow(controls[i])->style & WS_GROUP) != 0) {
            break;
        }
        Window& member = *FindWindow(controls[i]);
        if ((member.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
            member.check = controls[i] == clicked ? BST_CHECKED : BST_UNCHECKED;
        }
    }
}

} // namespace

namespace platform {

void ScriptDialogs(const std::vector<std::vector<DialogAction>>& scripts) {
    State().scripts.assign(scripts.begin(), scripts.end());
}

const std::vector<DialogRecord>& Dialogs() {
    return State().shown;
}

void ClearDialogs() {
    State().shown.clear();
}

HCURSOR CurrentCursor() {
    return State().cursor;
}

} // namespace platform

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    DialogState& state = State();
    std::vector<platform::DialogAction> script;
    if (!state.scripts.empty()) {
        script = std::move(state.scripts.front());
        state.scripts.pop_front();
    }
    platform::DialogRecord record{};
    record.module = instance;
    record.templateId = IS_INTRESOURCE(templateName) ? LOWORD(templateName) : 0;
    record.owner = owner;
    record.initParam = initParam;
    record.result = -1;
    const platform::DialogTemplate* dialogTemplate =
        IS_INTRESOURCE(templateName) ? platform::FindDialogTemplate(instance, record.templateId)
                                     : nullptr;
    if (dialogTemplate == nullptr || procedure == nullptr) {
        state.shown.push_back(record);
        return -1;
    }

    const std::size_t index = state.shown.size();
    state.shown.push_back(record);
    HWND dialog = CreateDialogWindow(owner, *dialogTemplate);
    state.shown[index].dialog = dialog;

    auto send = [&](UINT message, WPARAM wParam, LPARAM lParam) {
        const INT_PTR returned = procedure(dialog, message, wParam, lParam);
        State().shown[index].messages.push_back({message, wParam, lParam, returned});
        return returned;
    };
    auto ended = [&] { return FindWindow(dialog)->ended; };
    auto close = [&] {
        // What the system's dialog procedure does with a WM_CLOSE the dialog leaves to it.
        if (send(WM_CLOSE, 0, 0) == FALSE && !ended()) {
            send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        }
    };

    HWND focus = nullptr;
    for (HWND control : FindWindow(dialog)->controls) {
        if ((FindWindow(control)->style & WS_TABSTOP) != 0) {
            focus = control;
            break;
        }
    }
    send(WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    state.shown[index].checksAfterInit = CheckStates(dialog);

    for (const platform::DialogAction& action : script) {
        if (ended()) {
            break;
        }
        switch (action.kind) {
        case platform::DialogAction::Click: {
            HWND control = GetDlgItem(dialog, action.id);
            if (control == nullptr) {
                state.shown[index].missingControls.push_back(action.id);
                break;
            }
            ApplyClick(dialog, control);
            send(WM_COMMAND, MAKEWPARAM(action.id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            break;
        }
        case platform::DialogAction::Command:
            send(WM_COMMAND, MAKEWPARAM(action.id, action.code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, action.id)));
            break;
        case platform::DialogAction::Close:
            close();
            break;
        }
    }
    if (!ended()) {
        close();
    }

    platform::DialogRecord& finished = state.shown[index];
    finished.checksAtEnd = CheckStates(dialog);
    finished.ended = ended();
    // A dialog that ignores even IDCANCEL would never return on Windows; here it fails.
    finished.result = finished.ended ? FindWindow(dialog)->result : -1;
    DestroyDialogWindow(dialog);
    return finished.result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* window = FindWindow(dialog);
    if (window == nullptr || !window->isDialog) {
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* window = FindWindow(dialog);
    if (window == nullptr) {
        return nullptr;
    }
    for (HWND control : window->controls) {
        if (FindWindow(control)->id == id) {
            return control;
        }
    }
    return nullptr;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    FindWindow(control)->check = check;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control == nullptr ? BST_UNCHECKED : FindWindow(control)->check;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
    Window* found = FindWindow(window);
    if (found == nullptr || index != GWLP_USERDATA) {
        return 0;
    }
    const LONG_PTR previous = found->userData;
    found->userData = value;
    return previous;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
    Window* found = FindWindow(window);
    if (found == nullptr || index != GWLP_USERDATA) {
        return 0;
    }
    return found->userData;
}

HWND GetParent(HWND window) {
    Window* found = FindWindow(window);
    return found == nullptr ? nullptr : found->parent;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    // Only the system's shared cursors (IDC_ARROW and its kin) exist here; their handles are
    // the same in every call, as on Windows.
    const ULONG_PTR id = reinterpret_cast<ULONG_PTR>(name);
    if (instance != nullptr || !IS_INTRESOURCE(name) || id < 32512 || id > 32651) {
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(0x20000 + id);
}

HCURSOR SetCursor(HCURSOR cursor) {
    const HCURSOR previous = State().cursor;
    State().cursor = cursor;
    return previous;
}
