// Looks at a dialog or message box that another program shows on this desktop, as a user
// would see it: whether every control lies inside the window and whether every text fits its
// control, measured with the font the window is drawn with. Prints where each control is, so
// that a test can press it with real input.
//
// Usage: dialog_probe TITLE [MODULE TEMPLATE]
//        dialog_probe --run PROGRAM [ARGUMENT ...]
//   TITLE     the window's title; the probe waits up to 30 seconds for it to appear
//   MODULE    the module whose dialog template TEMPLATE (a number) the window was made from;
//             the probe makes the dialog itself, hidden, for its font. Without them the
//             window is a message box, drawn with the system's message font.
// Output: "window" W H, then for each control
//   control ID CLASS "TEXT" LEFT TOP RIGHT BOTTOM needs WIDTH HEIGHT click X Y STATE
// with the rectangle in the window's client coordinates, the size the text needs, the
// control's centre on the screen and STATE "ok", "outside" or "cut".
// Exit status: 0 every control fits, 1 some control does not, 2 wrong usage, 3 no window.
// --run starts PROGRAM with the probe's standard handles, waits for it and prints its exit
// status as a last line "exit N": a program started on a desktop of its own through Wine's
// explorer gives its status to nobody else.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

std::string Quoted(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The font the window's controls are drawn with.
HFONT WindowFont(int argc, wchar_t** argv) {
    if (argc < 4) {
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        return CreateFontIndirectW(&metrics.lfMessageFont);
    }
    const HMODULE module = LoadLibraryW(argv[2]);
    if (module == nullptr) {
        return nullptr;
    }
    const HWND dialog = CreateDialogParamW(
        module, MAKEINTRESOURCEW(static_cast<WORD>(std::wcstol(argv[3], nullptr, 10))), nullptr,
        QuietDialog, 0);
    return dialog != nullptr ? reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0))
                             : nullptr;
}

struct Probe {
    HWND window;
    HDC dc;
    RECT client;
    bool fits = true;
};

BOOL CALLBACK ReportControl(HWND control, LPARAM context) {
    Probe& probe = *reinterpret_cast<Probe*>(context);
    wchar_t className[64] = L"";
    GetClassNameW(control, className, 64);
    const std::wstring text = WindowText(control);
    RECT rect;
    GetWindowRect(control, &rect);
    const POINT click = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    MapWindowPoints(nullptr, probe.window, reinterpret_cast<POINT*>(&rect), 2);
    RECT inside;
    GetClientRect(control, &inside);
    const int width = inside.right - inside.left;
    const int height = inside.bottom - inside.top;

    // What the text needs, laid out as the control lays it out.
    SIZE needs = {0, 0};
    int spareWidth = width;
    int spareHeight = height;
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::wstring name = className;
    if (!text.empty() && name == L"Button") {
        GetTextExtentPoint32W(probe.dc, text.c_str(), static_cast<int>(text.size()), &needs);
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            // The button's frame on either side.
            spareWidth -= 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
            spareHeight -= 2 * (GetSystemMetrics(SM_CYEDGE) + 1);
        } else {
            // The check box or radio button before the text, and the gap after it.
            spareWidth -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
        }
    } else if (!text.empty() && name == L"Static" && (style & SS_TYPEMASK) <= SS_RIGHT) {
        RECT layout = {0, 0, width, 0};
        DrawTextW(probe.dc, text.c_str(), static_cast<int>(text.size()), &layout,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        needs.cx = layout.right - layout.left;
        needs.cy = layout.bottom - layout.top;
    }
    const bool outside = rect.left < probe.client.left || rect.top < probe.client.top ||
                         rect.right > probe.client.right || rect.bottom > probe.client.bottom;
    const bool cut = needs.cx > spareWidth || needs.cy > spareHeight;
    probe.fits = probe.fits && !outside && !cut;
    std::printf("control %d %s %s %ld %ld %ld %ld needs %ld %ld click %ld %ld %s\n",
                GetDlgCtrlID(control), Utf8(className).c_str(), Quoted(text).c_str(), rect.left,
                rect.top, rect.right, rect.bottom, needs.cx, needs.cy, click.x, click.y,
                outside ? "outside"
                : cut   ? "cut"
                        : "ok");
    return TRUE;
}

int Run(int argc, wchar_t** argv) {
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        line += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "dialog_probe: cannot start the program (error %lu)\n",
                     GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::printf("exit %lu\n", status);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"--run") == 0) {
        return Run(argc, argv);
    }
    if (argc != 2 && argc != 4) {
        std::fputs("usage: dialog_probe TITLE [MODULE TEMPLATE]\n", stderr);
        return 2;
    }
    HWND window = nullptr;
    for (int wait = 0; wait < 300 && window == nullptr; ++wait) {
        window = FindWindowW(nullptr, argv[1]);
        if (window == nullptr || !IsWindowVisible(window)) {
            window = nullptr;
            Sleep(100);
        }
    }
    if (window == nullptr) {
        std::fputs("dialog_probe: no such window\n", stderr);
        return 3;
    }
    const HFONT font = WindowFont(argc, argv);
    if (font == nullptr) {
        std::fputs("dialog_probe: no font for the window\n", stderr);
        return 3;
    }
    Probe probe = {window, GetDC(nullptr), {}};
    SelectObject(probe.dc, font);
    GetClientRect(window, &probe.client);
    std::printf("window %ld %ld\n", probe.client.right, probe.client.bottom);
    EnumChildWindows(window, ReportControl, reinterpret_cast<LPARAM>(&probe));
    std::fflush(stdout);
    return probe.fits ? 0 : 1;
}
