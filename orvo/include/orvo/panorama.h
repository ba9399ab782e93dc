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

// Finding the rolls from the panorama's own pixels. A border pixel of the up or down face
// and the matching border pixel of the side face below or above it look along the same ray,
// so under the right roll they hold the same distance (depth times the length of the pixel's
// direction) and nearly the same colour; under the wrong one they are compared with pixels
// across the room. Each face is tried both ways along all four edges it shares with the
// side faces, first by distance; where the distances cannot tell (no depth along the edges,
// or both rolls agree), by colour.

// The pixels of a 6N x N strip, row after row from the top; either plane may be absent.
struct PanoramaPixels {
    int faceSize;
    const unsigned char* colour; // red, green, blue bytes a pixel, or null
    const std::uint32_t* depth;  // depth codes over [nearDepth, farDepth], or null
    double nearDepth;
    double farDepth;
};

// How many border pixel pairs carried a kind of evidence, and how many of them agreed.
struct EdgeAgreement {
    int compared;
    int agreeing;
};

enum RollCue { RollCueNone, RollCueDepth, RollCueColour };

struct FaceRollFinding {
    bool determined;
    bool rolled;            // the roll found; false (unrolled) when not determined
    RollCue cue;            // the evidence that decided; RollCueNone when not determined
    EdgeAgreement depth[2]; // [0] under the unrolled face, [1] under the rolled one
    EdgeAgreement colour[2];
};

struct PanoramaRollFinding {
    FaceRolls rolls; // the rolls found, unrolled for a face whose roll is not determined
    FaceRollFinding up;
    FaceRollFinding down;
};

// Two distances of one ray agree within this many parts of the depth range (the faces'
// depths come from single-precision Z-buffers, coded in single precision, so they are
// exact to about one part in 2^24 of the range; the rest is room for a renderer whose two
// cameras meet an edge a little differently).
const double RollDistanceTolerance = 1.0 / 65536.0;
// Two colours agree when no channel differs by more than this.
const int RollColourTolerance = 3;
// A kind of evidence decides when the roll that agrees better agrees on at least this fraction
// of its pairs, and the other roll disagrees on at least four times as many pairs and on at
// least faceSize / 2 of them (an eighth of the face's 4 x faceSize edge pairs): an edge of one
// flat colour, or of colours that agree nowhere, decides nothing.
const double RollAgreementNeeded = 0.9;

// The rolls of the up and the down face as the strip's border pixels show them. A face size
// below 2 has no pixels on the cube's edges and determines nothing.
PanoramaRollFinding FindPanoramaRolls(const PanoramaPixels& pixels);

// The fraction of compared pairs that agree; 0 when none was compared.
double AgreementFraction(const EdgeAgreement& agreement);
