// What the plug-in keeps while it turns rendered frames into Orvo files: the current frame's
// size and borrowed channels, its depth range, and the object table of the current output
// with its indexes. The bitmap-IO object holds one; the capture functions work on it.
#pragma once

#include "max.h"
#include "orvo/format.h"

#include <deque>
#include <map>

struct CaptureState {
    int width = 0;  // of the current frame, from its storage
    int height = 0; // likewise
    // The frame's Z-buffer, width x height camera-space Z values from the top row; the host's,
    // valid during one Write.
    float* depthChannel = nullptr;
    float depthFar = 0.0f;
    float depthNear = 0.0f;
    // The frame's node render identifiers in the same layout, or null when it has none.
    WORD* objectIdChannel = nullptr;
    // Every render identifier met in this output, with its object id (0 included, so that
    // the host is asked only once).
    std::map<WORD, WORD> objectIdByRenderId;
    // The object table of this output, in order of creation.
    std::deque<ObjectEntry> objectEntries;
    // The next object id to give out. It only goes up; after 65535 it is 0 and stays 0,
    // which means the output's ids are used up.
    WORD nextObjectId = 1;
    // The object id of every material that got an entry in this output.
    std::map<Mtl*, WORD> objectIdByMaterial;
    // Objects named by material (true) or by node.
    bool useMaterialNames = true;
    // The id of the "Unknown" entry of frames without node identifiers; 0 until one such
    // frame of this output has made it.
    WORD unknownObjectId = 0;
};

// Values that belong to the loaded plug-in rather than to one output, never reset by it:
// the number of the next "Unnamed" name, and the phase of the colours of entries for render
// identifiers without a node.
struct ProcessNaming {
    int unnamedCounter = 1;
    double renderIdColourPhase = 0.0;
};

// The module's one ProcessNaming.
ProcessNaming& ModuleNaming();
