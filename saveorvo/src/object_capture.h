// Object ids: from the host's node render identifiers to the ids of the object-id layer, with
// the object table that names and colours them.
#pragma once

#include "capture_state.h"
#include "orvo/tessaly_orvo_file.h"

#include <cstdint>
#include <string>

// A colour component of 0 to 1 as a byte, rounded; out-of-range values are clamped.
std::uint8_t ColourByte(float component);

// The next colour of the sequence given to entries of render identifiers without a node.
// Each call advances phase; one component of every colour is 255.
void NextRenderIdColour(double& phase, std::uint8_t rgb[3]);

// Fills row (width ids) for row y of the frame: 0 where nothing was hit, otherwise the object
// id of the pixel's render identifier, or the "Unknown" id when the frame has none. Rows must
// come from the top, so that new entries are made in raster order. A y outside the frame
// leaves row untouched.
void FillObjectIdRow(CaptureState& state, std::uint16_t* row, int y);

// The object id of a render identifier, made on first sight: the material's entry (by
// material, when that option is on and the node has one), the node's own entry, or a
// "Node ID" entry when the host knows no such node. 0 for the no-node mark 0xFFFF, without
// the host's interface, or when the output's ids are used up.
WORD ObjectIdForRenderId(CaptureState& state, WORD renderId);

// Makes the "Unknown" entry (white) that stands for every surface of frames without node
// identifiers, once per output; returns its id (0 when the ids are used up).
WORD UnknownObjectId(CaptureState& state);

// Hands one entry to the file; an entry without a name is written as the next "Unnamed" name
// of the process, while the entry itself keeps its empty name.
void AddEntryToFile(const ObjectEntry& entry, Tessaly::Orvo::OrvoFile& file);
