// Write: one rendered frame to one Orvo file.
#include "write_path.h"

#include "bitmap_io_orvo.h"
#include "object_capture.h"
#include "orvo/tessaly_orvo_file.h"
#include "platform/user32.h"
#include "resource.h"
#include "saveorvo.h"
#include "view_capture.h"

#include <memory>
#include <new>
#include <string>

namespace {

// Every file names the program that made it the same way, whatever the host's release.
const std::wstring& SoftwareName() {
    static const std::wstring name(L"3ds Max");
    return name;
}

HWND MainWindow() {
    Interface* host = TheManager->Max();
    return host != nullptr ? host->GetMAXHWnd() : nullptr;
}

std::wstring Text(int id) {
    const MCHAR* text = LoadResourceString(id);
    return text != nullptr ? text : L"";
}

struct HostBlockFree {
    void operator()(void* block) const { MAX_free(block); }
};

// The frame's channels are the host's and only lent for one call: forget them when it ends.
class ChannelLoan {
public:
    explicit ChannelLoan(CaptureState& state) : state(state) {}
    ~ChannelLoan() {
        state.depthChannel = nullptr;
        state.objectIdChannel = nullptr;
    }
    ChannelLoan(const ChannelLoan&) = delete;
    ChannelLoan& operator=(const ChannelLoan&) = delete;

private:
    CaptureState& state;
};

// Copies the high byte of each colour component of row y; the alpha channel is not kept.
void FillColourRow(BitmapStorage* storage, int width, int y, unsigned char* row) {
    std::unique_ptr<BMM_Color_64, HostBlockFree> pixels(static_cast<BMM_Color_64*>(
        MAX_calloc(static_cast<std::size_t>(width), sizeof(BMM_Color_64))));
    if (!pixels) {
        throw std::bad_alloc();
    }
    storage->GetPixels(0, y, width, pixels.get());
    for (int x = 0; x < width; ++x) {
        const BMM_Color_64& pixel = pixels.get()[x];
        row[3 * x] = static_cast<unsigned char>(pixel.r >> 8);
        row[3 * x + 1] = static_cast<unsigned char>(pixel.g >> 8);
        row[3 * x + 2] = static_cast<unsigned char>(pixel.b >> 8);
    }
}

// Writes the whole file; the writer is gone when this returns or throws.
void WriteOrvoFile(CaptureState& state, BitmapStorage* storage, const std::wstring& fileName,
                   const PerspectiveView& view) {
    std::unique_ptr<Tessaly::Orvo::OrvoFile> file = Tessaly::Orvo::CreateOrvoFile(
        fileName, static_cast<std::uint16_t>(state.width), static_cast<std::uint16_t>(state.height),
        SoftwareName(), L"", L"", L"", view);
    for (int y = 0; y < state.height; ++y) {
        FillColourRow(storage, state.width, y, file->ColourRow());
        FillDepthRow(state, file->DepthRow(), y);
        FillObjectIdRow(state, file->IdRow(), y);
        file->WriteRow();
    }
    for (const ObjectEntry& entry : state.objectEntries) {
        AddEntryToFile(entry, *file);
    }
    file->Close();
}

// The frame from its numbered name on; every check that ends the call answers the host, and
// whatever it throws WriteFrame reports as a failed write.
BMMRES WriteFrameFile(BitmapIO& host, CaptureState& state, BitmapInfo& bi, Bitmap* map, int frame) {
    std::wstring fileName = bi.Name();
    if (frame != BMM_SINGLEFRAME) {
        MCHAR numbered[MAX_PATH];
        if (!BMMCreateNumberedFilename(bi.Name(), frame, numbered)) {
            return host.ProcessImageIOError(&bi, BMMRES_NUMBEREDFILENAMEERROR);
        }
        fileName = numbered;
    }

    BitmapStorage* storage = map != nullptr ? map->Storage() : nullptr;
    if (storage == nullptr) {
        return host.ProcessImageIOError(&bi, BMMRES_INTERNALERROR);
    }

    ULONG type = BMM_CHAN_TYPE_UNKNOWN;
    state.depthChannel = static_cast<float*>(storage->GetChannel(BMM_CHAN_Z, type));
    if (state.depthChannel == nullptr) {
        if (!host.SilentMode()) {
            MessageBoxW(MainWindow(), Text(IDS_NO_ZBUFFER).c_str(), nullptr, MB_ICONERROR);
        }
        return BMMRES_ERRORTAKENCARE;
    }
    if (type != BMM_CHAN_TYPE_32) {
        return host.ProcessImageIOError(&bi, BMMRES_INTERNALERROR);
    }

    state.objectIdChannel = static_cast<WORD*>(storage->GetChannel(BMM_CHAN_NODE_RENDER_ID, type));
    if (state.objectIdChannel == nullptr) {
        const std::wstring caption = Text(IDS_WARNING);
        if (host.SilentMode()) {
            return BMMRES_ERRORTAKENCARE;
        }
        if (MessageBoxW(MainWindow(), Text(IDS_NO_NODE_IDS).c_str(), caption.c_str(),
                        MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
            return BMMRES_ERRORTAKENCARE;
        }
        UnknownObjectId(state);
    } else if (type != BMM_CHAN_TYPE_16) {
        return host.ProcessImageIOError(&bi, BMMRES_INTERNALERROR);
    }

    state.width = storage->Width();
    state.height = storage->Height();
    ComputeDepthRange(state);
    const PerspectiveView view = FillPerspectiveView(state, storage->GetRenderInfo());

    WriteOrvoFile(state, storage, fileName, view);
    return BMMRES_SUCCESS;
}

} // namespace

BMMRES WriteFrame(BitmapIO& host, CaptureState& state, BitmapInfo& bi, Bitmap* map, int frame) {
    ChannelLoan loan(state);
    try {
        return WriteFrameFile(host, state, bi, map, frame);
    } catch (...) {
        // Nothing may reach the host; a failure anywhere, in the writer or before it, is a
        // failed write of the file.
        return host.ProcessImageIOError(&bi, Text(IDS_WRITE_ERROR).c_str());
    }
}
