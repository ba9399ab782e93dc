// The host's side of a bitmap-IO plug-in: the module loaded at run time and driven through
// its exports as 3ds Max drives an image output, and the output bitmap that a render fills.
// Every failure throws std::runtime_error with a text for the user.
#pragma once

#include "bitmap.h"
#include "max.h"

#include <memory>
#include <string>

namespace RenderHost {

// A plug-in module and its first class, which must be a bitmap-IO class built for this SDK.
class PluginModule {
public:
    explicit PluginModule(const std::string& path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // A new object of the class, configured as a render's output settings would configure
    // it: objects named by material or by node. The object must go before the module.
    std::unique_ptr<BitmapIO> CreateWriter(bool useMaterialNames) const;

private:
    HMODULE module;
    ClassDesc* descriptor;
};

// An output bitmap of 16-bit colour components with the render channels that a writer asks
// for, and render information for its camera.
class OutputFrame {
public:
    OutputFrame(const std::wstring& path, int width, int height, DWORD channels);
    ~OutputFrame();
    OutputFrame(const OutputFrame&) = delete;
    OutputFrame& operator=(const OutputFrame&) = delete;

    int Width() const { return info.Width(); }
    int Height() const { return info.Height(); }
    BitmapInfo& Info() { return info; }
    Bitmap* Output() { return bitmap; }
    RenderInfo& Camera() { return *storage->AllocRenderInfo(); }
    // Row y of the colour; the channels' pixel (x, y) is at y * Width() + x. A channel the
    // writer did not ask for is null.
    void PutRow(int y, BMM_Color_64* pixels) { storage->PutPixels(0, y, Width(), pixels); }
    float* Depth() { return depth; }
    WORD* RenderIds() { return renderIds; }

private:
    BitmapInfo info;
    Bitmap* bitmap;
    BitmapStorage* storage;
    float* depth;
    WORD* renderIds;
};

// One output of a writer, as a render drives it: the writer is made and configured, the output
// bitmap gets the channels the writer asks for, the output is opened on it, every rendered
// frame is written, and at the end the output is closed and the writer deleted through its
// virtual destructor before the bitmap goes.
class OrvoOutput {
public:
    OrvoOutput(const PluginModule& module, bool useMaterialNames, const std::wstring& path,
               int width, int height);
    ~OrvoOutput();
    OrvoOutput(const OrvoOutput&) = delete;
    OrvoOutput& operator=(const OrvoOutput&) = delete;

    OutputFrame& Frame() { return frame; }
    // Hands the frame's current content to the writer: BMM_SINGLEFRAME writes to the
    // frame's path, any other number to the numbered form of it.
    void Write(int frameNumber);

private:
    std::unique_ptr<BitmapIO> writer;
    OutputFrame frame;
};

} // namespace RenderHost
