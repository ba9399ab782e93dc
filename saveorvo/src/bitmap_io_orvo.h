// The plug-in's one class: the bitmap-IO object through which the host writes rendered
// frames as Orvo files, lists the format, and shows the About and configuration dialogs.
#pragma once

#include "bmmlib.h"
#include "max.h"
#include "orvo/format.h"

#include <deque>
#include <map>

class BitmapIO_Orvo : public BitmapIO {
public:
    BitmapIO_Orvo();
    ~BitmapIO_Orvo() override;

    int ExtCount() override;
    const MCHAR* Ext(int n) override;
    const MCHAR* LongDesc() override;
    const MCHAR* ShortDesc() override;
    const MCHAR* AuthorName() override;
    const MCHAR* CopyrightMessage() override;
    UINT Version() override;
    int Capability() override;
    void ShowAbout(HWND parent) override;
    // Shows the configuration dialog for flag BMMIO_CONTROLWRITE exactly: TRUE after OK,
    // FALSE after Cancel. Any other flag shows nothing and gives FALSE.
    BOOL ShowControl(HWND parent, DWORD flag) override;

    // The configuration block is one byte: 1 when objects are named by material, 0 by node.
    DWORD EvaluateConfigure() override;
    // A null block or one of size 0 is refused (FALSE) and the setting kept.
    BOOL LoadConfigure(void* block, DWORD size) override;
    BOOL SaveConfigure(void* block) override;

    DWORD ChannelsRequired() override;
    // Files of this type are never read.
    BMMRES GetImageInfo(BitmapInfo* info) override;
    BitmapStorage* Load(BitmapInfo* info, Bitmap* map, BMMRES* status) override;
    // Starts an output: empties the object table and its indexes and restarts the ids at 1.
    // Refused with the host's error report for BMMRES_INTERNALERROR while already open or
    // without a bitmap, leaving the object as it was.
    BMMRES OpenOutput(BitmapInfo* info, Bitmap* map) override;
    BMMRES Write(int frame) override;

    // The configuration dialog's handling of one message.
    INT_PTR ConfigureDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // Capture state of the current frame and output.
    int width;
    int height;
    float* depthChannel; // the frame's Z-buffer, the host's, valid during one Write
    float depthFar;
    float depthNear;
    WORD* objectIdChannel; // the frame's node render identifiers, or null
    std::map<WORD, WORD> objectIdByRenderId;
    std::deque<ObjectEntry> objectEntries;
    WORD nextObjectId;
    std::map<Mtl*, WORD> objectIdByMaterial;
    bool useMaterialNames; // the one setting: name objects by material (true) or by node
};

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Keeps the object given as the initialisation parameter in the dialog's user data and hands
// it every message; a message that arrives before that gets FALSE.
INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
