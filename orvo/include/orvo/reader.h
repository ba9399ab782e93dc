// Reading Orvo files of both revisions.
#pragma once

#include "orvo/format.h"

#include <cstdint>
#include <deque>
#include <string>

// Loads a whole Orvo file: its size, its three layers as planes, the view record of a
// perspective depth layer and its object table.
//
// width, height: the size of the first directory that carries QuorvaneSubfileData; left
//   untouched when there is none.
// view: overwritten only from a depth layer with a PerspectiveView; the caller initialises it.
// objects: the entries of the object table are appended, newest record first.
// colour, depth, ids: must be null on entry. Each is set to a plane of width x height pixels,
//   row after row (3 bytes, one u32 code, one u16 id a pixel), when the file has that layer.
//   Planes are page memory (VirtualAlloc); the caller releases them with VirtualFree, also
//   when the result is false.
//
// Returns true when every directory that carries QuorvaneSubfileData was read completely
// (also when there is none); false on any failure. Reports nothing and throws nothing.
bool ReadOrvoFile(const std::string& path, int& width, int& height, PerspectiveView& view,
                  std::deque<ObjectEntry>& objects, unsigned char*& colour, std::uint32_t*& depth,
                  std::uint16_t*& ids);
