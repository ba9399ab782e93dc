// ReadOrvoFile: the stitcher's whole-file read, a walk under the reader's rules with its
// findings handed to the caller.
#include "orvo/reader.h"

#include "orvo/walker.h"

#include <utility>

bool ReadOrvoFile(const std::string& path, int& width, int& height, PerspectiveView& view,
                  std::deque<ObjectEntry>& objects, unsigned char*& colour, std::uint32_t*& depth,
                  std::uint16_t*& ids) {
    WalkOptions options;
    options.layersHeld = (colour != nullptr ? LayerColour : 0) |
                         (depth != nullptr ? LayerDepth : 0) | (ids != nullptr ? LayerObjectId : 0);
    OrvoWalk walk = WalkOrvoFile(path, options);
    if (walk.width != 0) {
        width = static_cast<int>(walk.width);
        height = static_cast<int>(walk.height);
    }
    if (walk.hasView) {
        view = walk.view;
    }
    // Planes already read stay with the caller, also when the walk stopped.
    if (!walk.colour.Empty()) {
        colour = walk.colour.Release();
    }
    if (!walk.depth.Empty()) {
        depth = walk.depth.Release();
    }
    if (!walk.ids.Empty()) {
        ids = walk.ids.Release();
    }
    try {
        for (ObjectEntry& entry : walk.objects) {
            objects.push_back(std::move(entry));
        }
    } catch (...) {
        return false;
    }
    return walk.Complete();
}
