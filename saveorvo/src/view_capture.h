// The frame's camera, depth range and units as a view record, and its Z-buffer as depth
// codes.
#pragma once

#include "bitmap.h"
#include "capture_state.h"

#include <cstdint>

// Whether a Z-buffer value marks a pixel where nothing was hit.
bool IsNoHit(float z);

// The view record of the current frame. Without render information it holds the format's
// defaults, except nearDepth and farDepth, which are the frame's depth range as with it: the
// depthNear and depthFar that ComputeDepthRange has set.
PerspectiveView FillPerspectiveView(const CaptureState& state, RenderInfo* info);

// depthNear and depthFar of the current frame: half the nearest and twice the farthest hit
// distance for an ordinary render; 1 and 2 when nothing was hit.
void ComputeDepthRange(CaptureState& state);

// Codes row y of the Z-buffer over [depthNear, depthFar] into row (width codes). False,
// with row untouched, when y is not a row of the frame.
bool FillDepthRow(const CaptureState& state, std::uint32_t* row, int y);

struct SceneUnits {
    std::uint32_t unitCode; // Unit* constant
    double unitScale;       // size of one scene unit in that unit
};
// The scene's unit from the host's unit settings.
SceneUnits GetSceneUnits();
