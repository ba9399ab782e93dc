#include "bitmap_io_orvo.h"

#include "write_path.h"

#include "platform/user32.h"
#include "resource.h"
#include "saveorvo.h"

BitmapIO_Orvo::BitmapIO_Orvo() = default;

// The capture state's members go in reverse order of declaration (capture_.objectIdByMaterial,
// capture_.objectEntries, then capture_.objectIdByRenderId), before the host's base.
BitmapIO_Orvo::~BitmapIO_Orvo() = default;

int BitmapIO_Orvo::ExtCount() {
    return 1;
}

const MCHAR* BitmapIO_Orvo::Ext(int /*n*/) {
    return _M("orv");
}

const MCHAR* BitmapIO_Orvo::LongDesc() {
    return LoadResourceString(IDS_LONG_DESC);
}

const MCHAR* BitmapIO_Orvo::ShortDesc() {
    return LoadResourceString(IDS_CLASS_NAME);
}

const MCHAR* BitmapIO_Orvo::AuthorName() {
    return LoadResourceString(IDS_AUTHOR);
}

const MCHAR* BitmapIO_Orvo::CopyrightMessage() {
    return LoadResourceString(IDS_COPYRIGHT);
}

UINT BitmapIO_Orvo::Version() {
    return 123;
}

int BitmapIO_Orvo::Capability() {
    return BMMIO_WRITER | BMMIO_EXTENSION | BMMIO_CONTROLWRITE;
}

void BitmapIO_Orvo::ShowAbout(HWND parent) {
    try {
        DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_ABOUT), parent, AboutDialogProc, 0);
    } catch (...) {
        // Nothing may reach the host; there is no result to report.
    }
}

BOOL BitmapIO_Orvo::ShowControl(HWND parent, DWORD flag) {
    if (flag != static_cast<DWORD>(BMMIO_CONTROLWRITE)) {
        return FALSE;
    }
    try {
        const INT_PTR result =
            DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_CONFIGURE), parent,
                            ConfigureDialogProc, reinterpret_cast<LPARAM>(this));
        // A dialog that could not be shown (-1) changed nothing, as after Cancel.
        return result == 1 ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

DWORD BitmapIO_Orvo::EvaluateConfigure() {
    return 1;
}

BOOL BitmapIO_Orvo::LoadConfigure(void* block, DWORD size) {
    if (block == nullptr || size == 0) {
        return FALSE;
    }
    capture_.useMaterialNames = *static_cast<const BYTE*>(block) != 0;
    return TRUE;
}

BOOL BitmapIO_Orvo::SaveConfigure(void* block) {
    if (block == nullptr) {
        return FALSE;
    }
    *static_cast<BYTE*>(block) = capture_.useMaterialNames ? 1 : 0;
    return TRUE;
}

DWORD BitmapIO_Orvo::ChannelsRequired() {
    return BMM_CHAN_Z | BMM_CHAN_NODE_RENDER_ID;
}

BMMRES BitmapIO_Orvo::GetImageInfo(BitmapInfo* /*info*/) {
    return BMMRES_ERRORTAKENCARE;
}

BitmapStorage* BitmapIO_Orvo::Load(BitmapInfo* /*info*/, Bitmap* /*map*/, BMMRES* /*status*/) {
    return nullptr;
}

BMMRES BitmapIO_Orvo::OpenOutput(BitmapInfo* info, Bitmap* output) {
    if (openMode != BMM_NOT_OPEN || output == nullptr) {
        return ProcessImageIOError(info, BMMRES_INTERNALERROR);
    }
    capture_.objectEntries.clear();
    capture_.objectIdByMaterial.clear();
    capture_.nextObjectId = 1;
    capture_.objectIdByRenderId.clear();
    capture_.unknownObjectId = 0;
    bi.CopyImageInfo(info);
    map = output;
    openMode = BMM_OPEN_W;
    return BMMRES_SUCCESS;
}

INT_PTR BitmapIO_Orvo::ConfigureDialogMessage(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        ReadCfg();
        CheckDlgButton(dialog, IDC_USE_MATERIAL_NAMES,
                       capture_.useMaterialNames ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, IDC_USE_OBJECT_NAMES,
                       capture_.useMaterialNames ? BST_UNCHECKED : BST_CHECKED);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            WriteCfg();
            EndDialog(dialog, 1);
            break;
        case IDCANCEL:
            // The radio buttons have already changed the setting; Cancel only keeps it out
            // of the configuration file.
            EndDialog(dialog, 0);
            break;
        case IDC_USE_MATERIAL_NAMES:
            capture_.useMaterialNames = true;
            break;
        case IDC_USE_OBJECT_NAMES:
            capture_.useMaterialNames = false;
            break;
        default:
            break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog, GetParent(dialog));
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
    }
    auto* object = reinterpret_cast<BitmapIO_Orvo*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (object == nullptr) {
        return FALSE;
    }
    try {
        return object->ConfigureDialogMessage(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

BMMRES BitmapIO_Orvo::Write(int frame) {
    if (openMode != BMM_OPEN_W) {
        return ProcessImageIOError(&bi, BMMRES_INTERNALERROR);
    }
    return WriteFrame(*this, capture_, bi, map, frame);
}
