// The stand-in host's state, for tests and host programs: what the real host would decide
// (its main window, silent mode, its error reporter's answer, its folders) is set here, and
// what a plug-in asked of the host is recorded here. This header belongs to the stand-in
// alone; a plug-in never includes it, so it builds unchanged against the real host's SDK.
#pragma once

#include "bitmap.h"
#include "color.h"
#include "imtl.h"
#include "inode.h"
#include "matrix3.h"

#include <string>
#include <vector>

namespace MaxHost {

// Everything back to the state of a freshly started host: no main window, not silent, the
// error reporter answering BMMRES_ERRORTAKENCARE, the configuration folder empty, no records;
// its main interface available, release VERSION_3DSMAX, no renderer chosen yet, an empty
// scene; system unit 1 inch, generic display (custom unit: 660 feet, "FL").
// The unit settings themselves are set with the SDK's SetMasterUnitInfo and
// SetUnitDisplayInfo.
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

// Frames. A bitmap made by TheManager->Create with a type other than BMM_NO_TYPE has a
// storage; its channels come from BitmapStorage::CreateChannels, its render information from
// BitmapStorage::AllocRenderInfo.

// Makes the storage report another element type for a channel from now on, as a renderer
// that keeps the channel in another form would; the channel's data stays as it is.
void SetChannelType(BitmapStorage* storage, ULONG channel, ULONG type);

// Fills render information for a camera whose camera-to-world transform is camToWorld (rows:
// the camera's x axis to the right, y axis up, z axis backwards, since it looks down -z, and
// its position, all in world coordinates), rendering an image of width x height square
// pixels. A perspective camera shows fieldOfView radians across the image's width; a parallel
// camera shows viewWidth scene units across it. The image's centre lies on the view axis.
void SetPerspectiveCamera(RenderInfo& info, int width, int height, float fieldOfView,
                          const Matrix3& camToWorld);
void SetParallelCamera(RenderInfo& info, int width, int height, float viewWidth,
                       const Matrix3& camToWorld);

// The scene. Materials and nodes belong to the host until Reset. A material answers its colour
// queries with diffuse for sub-material 0 and the front face, with black for anything else.
Mtl* AddMaterial(const std::wstring& name, const Color& diffuse);
// A node with its render identifier, name, wire colour (red in bits 0 to 7, green 8 to 15,
// blue 16 to 23) and material (may be null).
INode* AddNode(UWORD renderId, const std::wstring& name, DWORD wireColor, Mtl* material);
// The render identifiers asked of Interface::GetINodeFromRenderID since Reset, in order.
const std::vector<UWORD>& NodeQueries();

// Whether TheManager->Max() gives the host's interface (true) or null.
void SetInterfaceAvailable(bool available);
// What Get3DSMAXVersion returns.
void SetHostVersion(DWORD version);
// The renderer that Interface::GetCurrentRenderer returns: one of the given class, which for
// Class_ID(SREND_CLASS_ID, 0) is the scanline renderer with the given antialiasing setting.
// Without one, GetCurrentRenderer(true) makes the default scanline renderer (antialiasing on)
// and GetCurrentRenderer(false) returns null.
void SetCurrentRenderer(const Class_ID& classId, bool antialias = true);
void RemoveRenderer();

} // namespace MaxHost
