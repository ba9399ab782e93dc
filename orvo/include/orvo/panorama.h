// Where the pixels of a panorama strip look.
//
// A panorama is six square faces of N x N pixels side by side, in the slots +Y, +X, -Y, -X,
// up (+Z) and down (-Z). The side faces stand upright with Z up and their right axis
// forward x up. The cameras that look up and down are the +Y camera tilted, so they keep +X
// as their right axis: up looks along +Z with its image's up along -Y, down along -Z with
// its image's up along +Y. A rig may instead roll either of them by 180 degrees about its
// view direction; FaceRolls says which. Within a face, the centres of pixels 0 and N - 1 lie
// on the cube's edges, so a border pixel of one face and the matching border pixel of its
// neighbour look along the same ray.
#pragma once

#include "orvo/format.h"

const int PanoramaSlotCount = 6;
const int PanoramaSlotUp = 4;
const int PanoramaSlotDown = 5;

// How the up and the down face were turned: false is the tilted +Y camera described above,
// true the same camera rolled by 180 degrees (pixel (c, r) of the face shows what pixel
// (N - 1 - c, N - 1 - r) of the unrolled face would).
struct FaceRolls {
    bool upRolled;
    bool downRolled;
};
const FaceRolls UnrolledFaces = {false, false};

struct SlotCamera {
    Vector3 forward;
    Vector3 right; // the face's columns grow along it
    Vector3 up;    // the face's rows grow against it
};

// The camera of a slot (0 to 5) with the given rolls.
SlotCamera PanoramaSlotCamera(int slot, const FaceRolls& rolls);

// "+Y", "+X", "-Y", "-X", "+Z (up)", "-Z (down)"; "" for a number outside 0 to 5.
const char* PanoramaSlotName(int slot);

// The direction through the centre of pixel (column, row) of a strip of faces of faceSize
// pixels, counted from the strip's top-left; not of unit length (it ends on the cube of
// half-edge 1 around the eye).
Vector3 PanoramaPixelDirection(int faceSize, int column, int row, const FaceRolls& rolls);

// Where a direction meets the strip: the slot and the position within that face in pixel
// centres (0 is the centre of the first pixel, faceSize - 1 that of the last), so that
// column and row lie in [0, faceSize - 1]. On an edge the first slot in strip order wins.
// The direction must not be zero.
struct PanoramaPoint {
    int slot;
    double column;
    double row;
};
PanoramaPoint PanoramaPointOf(const Vector3& direction, int faceSize, const FaceRolls& rolls);
