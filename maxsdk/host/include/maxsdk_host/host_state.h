// The stand-in host's state, for tests and host programs: what the real host would decide
// (its main window, silent mode, its error reporter's answer, its folders) is set here, and
// what a plug-in asked of the host is recorded here. This header belongs to the stand-in
// alone; a plug-in never includes it, so it builds unchanged against the real host's SDK.
#pragma once

#include "bitmap.h"

#include <string>
#include <vector>

namespace MaxHost {

// Everything back to the state of a freshly started host: no main window, not silent, the
// error reporter answering BMMRES_ERRORTAKENCARE, the configuration folder empty, no records.
void Reset();

void SetMainWindow(HWND window);
void SetSilentMode(bool silent);

// The plug-in configuration folder (APP_PLUGCFG_DIR), without a trailing separator.
void SetPlugCfgFolder(const std::wstring& folder);

// One call of BitmapIO::ProcessImageIOError.
struct ErrorReport {
    std::wstring name; // the BitmapInfo's Name(), empty for a null BitmapInfo
    bool byCode;       // true: reported by code; false: by text
    int code;
    std::wstring text; // empty for a null text
};
// What the error reporter returns from now on.
void SetErrorResult(BMMRES result);
const std::vector<ErrorReport>& ErrorReports();
void ClearErrorReports();

// One call of CenterWindow.
struct CenteredWindow {
    HWND window;
    HWND parent;
};
const std::vector<CenteredWindow>& CenteredWindows();

// The host's heap: objects allocated through MaxHeapOperators and blocks from
// MAX_malloc/MAX_calloc that have not been freed yet, and allocation failures on demand.
long LiveHeapObjects();
long LiveHeapBlocks();
// The next count allocations of either kind fail (a null result, or std::bad_alloc from the
// throwing operator new).
void FailNextAllocations(int count);

} // namespace MaxHost
