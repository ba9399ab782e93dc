// The plug-in's one class: the bitmap-IO object through which the host writes rendered
// frames as Orvo files, lists the format, and shows the About and configuration dialogs.
#pragma once

#include "bmmlib.h"
#include "capture_state.h"
#include "max.h"

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
    // Writes the frame in the output bitmap as one Orvo file: under the output's name for a
    // single image (BMM_SINGLEFRAME), otherwise under the host's numbered form of it. Returns
    // BMMRES_SUCCESS; BMMRES_ERRORTAKENCARE when the plug-in has told the user itself (or was
    // silent) and wrote nothing; or the host's error reporter's result, for code 11 (no
    // numbered name), code 12 (not open, no storage, a channel of the wrong type) or a
    // failed write ("Error writing Orvo file").
    BMMRES Write(int frame) override;

    // The configuration dialog's handling of one message.
    INT_PTR ConfigureDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // What the object keeps between the frames of one output, and of the current frame.
    CaptureState& Capture() { return capture_; }
    const CaptureState& Capture() const { return capture_; }

private:
    // A member, so that it is destroyed before the host's base class.
    CaptureState capture_;
};

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Keeps the object given as the initialisation parameter in the dialog's user data and hands
// it every message; a message that arrives before that gets FALSE.
INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
