#include "orvo_document.h"

#include "orvo/walker.h"

#include <cstdio>

DepthScale OrvoDocument::Scale() const {
    if (panorama) {
        return {panorama->nearDepth, panorama->farDepth, panorama->unitScale, panorama->unitCode};
    }
    if (view) {
        return {view->nearDepth, view->farDepth, view->unitScale, view->unitCode};
    }
    return {0.0, 1.0, 1.0, UnitNone};
}

std::string OrvoDocument::Revision() const {
    const LayerDirectory* colourLayer = nullptr;
    const LayerDirectory* idLayer = nullptr;
    for (const LayerDirectory& layer : layers) {
        if (layer.kind == KindColour && colourLayer == nullptr) {
            colourLayer = &layer;
        } else if (layer.kind == KindObjectId && idLayer == nullptr) {
            idLayer = &layer;
        }
    }
    // Revision 1.3 numbers its colour layer 1.3 and its id layer 1.1; revision 1.0 numbers
    // every layer 1.0. A depth layer alone is 1.0 in both.
    if (colourLayer != nullptr) {
        return std::to_string(colourLayer->major) + "." + std::to_string(colourLayer->minor);
    }
    if (idLayer != nullptr) {
        return idLayer->minor == 1 ? "1.3" : idLayer->minor == 0 ? "1.0" : "unknown";
    }
    return "1.0 or 1.3";
}

std::map<std::uint16_t, const ObjectEntry*> OrvoDocument::ObjectsById() const {
    std::map<std::uint16_t, const ObjectEntry*> byId;
    for (const ObjectEntry& entry : objects) {
        byId.emplace(entry.id, &entry); // newest first, so the newest record of an id stays
    }
    return byId;
}

OrvoDocument LoadOrvoDocument(const std::string& path, const LoadOptions& options) {
    WalkOptions walkOptions;
    walkOptions.rules = WalkRules::Inspector;
    walkOptions.listings = options.directoryListings;
    OrvoWalk walk = WalkOrvoFile(path, walkOptions);
    if (!walk.Complete()) {
        throw FileError(path, walk.Reason());
    }

    OrvoDocument document;
    document.path = path;
    document.width = static_cast<int>(walk.width);
    document.height = static_cast<int>(walk.height);
    for (const WalkedDirectory& directory : walk.directories) {
        if (options.directoryListings) {
            document.directoryListings.push_back(directory.listing);
        }
        if (directory.hasLayer) {
            document.layers.push_back({directory.index, directory.header.kind,
                                       directory.header.major, directory.header.minor,
                                       directory.width, directory.height, directory.bitsPerSample,
                                       directory.samplesPerPixel});
        }
    }
    if (walk.hasView) {
        document.view = walk.view;
    }
    if (walk.hasPanorama) {
        document.panorama = walk.panorama;
    }
    document.objects = std::move(walk.objects);
    const std::size_t count = document.PixelCount();
    if (!walk.colour.Empty()) {
        document.colour.assign(walk.colour.Get(), walk.colour.Get() + 3 * count);
    }
    const PagePlane<std::uint32_t>& depth = walk.hasPanorama ? walk.panoramaDepth : walk.depth;
    if (!depth.Empty()) {
        document.depth.assign(depth.Get(), depth.Get() + count);
    }
    if (!walk.ids.Empty()) {
        document.ids.assign(walk.ids.Get(), walk.ids.Get() + count);
    }
    return document;
}

std::string UnitPhrase(const DepthScale& scale) {
    const std::string name = UnitName(scale.unitCode);
    if (name == "none") {
        return "scene units";
    }
    if (scale.unitScale == 1.0) {
        return name;
    }
    char text[64];
    std::snprintf(text, sizeof text, "units of %.9g ", scale.unitScale);
    return text + name;
}
