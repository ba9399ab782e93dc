// Rendered frames as the stand-in host hands them to an output, and Orvo files read back, for
// the tests of the capture code and of Write.
#pragma once

#include "bmmlib.h"
#include "max.h"
#include "maxsdk_host/host_state.h"
#include "orvo/reader.h"
#include "platform/kernel32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

// An output bitmap of 16-bit colour components with the channels asked for (Z-buffer, node
// render identifiers); every pixel starts black, with nothing hit and render identifier 0.
class TestFrame {
public:
    TestFrame(const std::wstring& name, int width, int height,
              ULONG channels = BMM_CHAN_Z | BMM_CHAN_NODE_RENDER_ID)
        : info(name.c_str()) {
        info.SetWidth(static_cast<WORD>(width));
        info.SetHeight(static_cast<WORD>(height));
        info.SetType(BMM_TRUE_64);
        bitmap = TheManager->Create(&info);
        storage = bitmap->Storage();
        SetChannels(channels);
    }
    ~TestFrame() { bitmap->DeleteThis(); }
    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;

    // Renders the next frame with these channels; a channel kept keeps its values.
    void SetChannels(ULONG channels) {
        storage->DeleteChannels(~channels);
        storage->CreateChannels(channels);
        ULONG type;
        z = static_cast<float*>(storage->GetChannel(BMM_CHAN_Z, type));
        ids = static_cast<WORD*>(storage->GetChannel(BMM_CHAN_NODE_RENDER_ID, type));
    }

    // A surface at camera-space Z zValue, of the node with renderId, in the given colour.
    void Hit(int x, int y, float zValue, WORD renderId, BMM_Color_64 colour = {0, 0, 0, 0xFFFF}) {
        const int i = y * info.Width() + x;
        if (z != nullptr) {
            z[i] = zValue;
        }
        if (ids != nullptr) {
            ids[i] = renderId;
        }
        storage->PutPixels(x, y, 1, &colour);
    }

    BitmapInfo info;
    Bitmap* bitmap;
    BitmapStorage* storage;
    float* z;  // null without a Z-buffer
    WORD* ids; // null without node render identifiers
};

// How far apart, as distances, the codes that lie next to code can be. The plug-in works codes
// out in single precision, so near code only every (spacing of floats there)-th code occurs,
// and truncation adds one more.
inline double CodeStep(double nearDepth, double farDepth, std::uint32_t code) {
    const float value = static_cast<float>(code);
    const double spacing = std::nextafter(value, INFINITY) - value;
    return (spacing + 1.0) * (farDepth - nearDepth) / 4294967296.0;
}

// Everything ReadOrvoFile gives of a file; the planes are released with the object.
struct OrvoContents {
    explicit OrvoContents(const std::filesystem::path& path) {
        InitPerspectiveView(view);
        ok = ReadOrvoFile(path.string(), width, height, view, objects, colour, depth, ids);
    }
    ~OrvoContents() {
        for (void* plane :
             {static_cast<void*>(colour), static_cast<void*>(depth), static_cast<void*>(ids)}) {
            if (plane != nullptr) {
                VirtualFree(plane, 0, MEM_RELEASE);
            }
        }
    }
    OrvoContents(const OrvoContents&) = delete;
    OrvoContents& operator=(const OrvoContents&) = delete;

    // The distance that a depth code stands for, as a reader works it out.
    double Distance(std::uint32_t code) const {
        return view.nearDepth + code * (view.farDepth - view.nearDepth) / 4294967296.0;
    }
    double Step(std::uint32_t code) const { return CodeStep(view.nearDepth, view.farDepth, code); }
    // The object-table entry with the given id; fails the test when there is none.
    const ObjectEntry& Object(std::uint16_t id) const {
        for (const ObjectEntry& entry : objects) {
            if (entry.id == id) {
                return entry;
            }
        }
        ADD_FAILURE() << "no object " << id;
        static const ObjectEntry none = {0, L"", 0, 0, 0};
        return none;
    }

    bool ok = false;
    int width = 0;
    int height = 0;
    PerspectiveView view;
    std::deque<ObjectEntry> objects; // newest first
    unsigned char* colour = nullptr;
    std::uint32_t* depth = nullptr;
    std::uint16_t* ids = nullptr;
};
