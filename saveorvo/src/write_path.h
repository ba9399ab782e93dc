// Write: one rendered frame to one Orvo file, for the bitmap-IO object's Write.
#pragma once

#include "bitmap.h"
#include "capture_state.h"

// Writes the frame in map as one Orvo file, under bi's name for a single image
// (BMM_SINGLEFRAME), otherwise under the host's numbered form of it. host reports the errors
// and says whether dialogs are allowed; the frame's channels are lent to state for the call
// only. Returns BMMRES_SUCCESS; BMMRES_ERRORTAKENCARE when the user
// was told (or the host is silent) and nothing was written; or the host's error reporter's
// result, for code 11 (no numbered name), code 12 (no storage, a channel of the wrong type) or
// a failed write ("Error writing Orvo file"). Throws nothing.
BMMRES WriteFrame(BitmapIO& host, CaptureState& state, BitmapInfo& bi, Bitmap* map, int frame);
