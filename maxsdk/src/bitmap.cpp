// Image information, bitmaps and the inherited behaviour of bitmap-IO objects.
#include "bitmap.h"

#include "host_internal.h"
#include "platform/stdio_file.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

void CopyName(MCHAR* target, const MCHAR* source) {
    if (source == nullptr) {
        target[0] = 0;
        return;
    }
    std::wcsncpy(target, source, MAX_PATH - 1);
    target[MAX_PATH - 1] = 0;
}

typedef platform::StdioFile File;

File OpenFile(const MCHAR* path, const char* mode) {
    return File(std::fopen(platform::WideToAnsi(path).c_str(), mode));
}

// Configuration blocks are small; anything larger is not one of ours.
const long largestConfiguration = 1 << 20;

// Bytes of one element of each render channel.
std::size_t ChannelElementSize(ULONG channel) {
    switch (channel) {
    case BMM_CHAN_MTL_ID:
    case BMM_CHAN_COVERAGE:
        return 1;
    case BMM_CHAN_NODE_ID:
    case BMM_CHAN_NODE_RENDER_ID:
    case BMM_CHAN_MASK:
        return 2;
    case BMM_CHAN_COLOR:
    case BMM_CHAN_TRANSP:
    case BMM_CHAN_WEIGHT:
    case BMM_CHAN_BG:
        return 3;
    case BMM_CHAN_UV:
    case BMM_CHAN_VELOC:
        return 8;
    default: // Z, normal, real pixel
        return 4;
    }
}

ULONG ChannelElementType(ULONG channel) {
    switch (ChannelElementSize(channel)) {
    case 1:
        return BMM_CHAN_TYPE_8;
    case 2:
        return BMM_CHAN_TYPE_16;
    case 3:
        return BMM_CHAN_TYPE_24;
    case 8:
        return BMM_CHAN_TYPE_64;
    default:
        return BMM_CHAN_TYPE_32;
    }
}

// The storage of every bitmap the stand-in makes: 16 bits a colour component.
class FrameStorage : public BitmapStorage {
public:
    explicit FrameStorage(const BitmapInfo& info)
        : pixels(static_cast<std::size_t>(info.Width()) * info.Height(), BMM_Color_64{0, 0, 0, 0}) {
        bi.CopyImageInfo(const_cast<BitmapInfo*>(&info));
    }
    int GetPixels(int x, int y, int count, BMM_Color_64* ptr) override {
        if (!InRange(x, y, count) || ptr == nullptr) {
            return 0;
        }
        std::copy_n(pixels.begin() + Index(x, y), count, ptr);
        return 1;
    }
    int PutPixels(int x, int y, int count, BMM_Color_64* ptr) override {
        if (!InRange(x, y, count) || ptr == nullptr) {
            return 0;
        }
        std::copy_n(ptr, count, pixels.begin() + Index(x, y));
        return 1;
    }

private:
    bool InRange(int x, int y, int count) {
        // Compared without adding, so that no count overflows.
        return x >= 0 && y >= 0 && count >= 0 && y < Height() && x <= Width() &&
               count <= Width() - x;
    }
    std::ptrdiff_t Index(int x, int y) { return static_cast<std::ptrdiff_t>(y) * Width() + x; }

    std::vector<BMM_Color_64> pixels;
};

} // namespace

BitmapInfo::BitmapInfo()
    : width(0), height(0), type(BMM_NO_TYPE), aspect(1.0f), gamma(1.0f), firstFrame(0),
      lastFrame(0), flags(0) {
    name[0] = 0;
    device[0] = 0;
}

BitmapInfo::BitmapInfo(const MCHAR* fileName) : BitmapInfo() {
    SetName(fileName);
}

BitmapInfo::~BitmapInfo() = default;

const MCHAR* BitmapInfo::Name() const {
    return name;
}

void BitmapInfo::SetName(const MCHAR* value) {
    CopyName(name, value);
}

const MCHAR* BitmapInfo::Device() const {
    return device;
}

void BitmapInfo::SetDevice(const MCHAR* value) {
    CopyName(device, value);
}

void BitmapInfo::CopyImageInfo(BitmapInfo* from) {
    if (from == nullptr || from == this) {
        return;
    }
    CopyName(name, from->name);
    CopyName(device, from->device);
    width = from->width;
    height = from->height;
    type = from->type;
    aspect = from->aspect;
    gamma = from->gamma;
    firstFrame = from->firstFrame;
    lastFrame = from->lastFrame;
    flags = from->flags;
}

BOOL BMMCreateNumberedFilename(const MCHAR* namein, int frame, MCHAR* nameout) {
    nameout[0] = 0;
    if (namein == nullptr || namein[0] == 0 || frame < 0) {
        return FALSE;
    }
    const std::wstring name(namein);
    // The extension is the last dot's part of the last path component.
    const std::size_t slash = name.find_last_of(L"/\\");
    std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
        dot = name.size();
    }
    wchar_t number[16];
    std::swprintf(number, 16, L"%04d", frame);
    const std::wstring numbered = name.substr(0, dot) + number + name.substr(dot);
    if (numbered.size() >= MAX_PATH) {
        return FALSE;
    }
    std::wcscpy(nameout, numbered.c_str());
    return TRUE;
}

BitmapStorage::BitmapStorage() : channels(new Channels()) {}

BitmapStorage::~BitmapStorage() = default;

void* BitmapStorage::GetChannel(ULONG channelID, ULONG& chanType) {
    const auto found = channels->byId.find(channelID);
    if (found == channels->byId.end()) {
        chanType = BMM_CHAN_TYPE_UNKNOWN;
        return nullptr;
    }
    chanType = found->second.type;
    return found->second.bytes.data();
}

ULONG BitmapStorage::CreateChannels(ULONG channelIDs) {
    const std::size_t count = static_cast<std::size_t>(Width()) * Height();
    for (ULONG channel = 1; channel != 0 && channel <= BMM_CHAN_MASK; channel <<= 1) {
        if ((channelIDs & channel) == 0 || channels->byId.count(channel) != 0) {
            continue;
        }
        Channels::Channel& made = channels->byId[channel];
        made.type = ChannelElementType(channel);
        made.bytes.assign(count * ChannelElementSize(channel), 0);
        if (channel == BMM_CHAN_Z) {
            const float nothing = -1.0e30f;
            for (std::size_t i = 0; i < count; ++i) {
                std::memcpy(made.bytes.data() + i * sizeof nothing, &nothing, sizeof nothing);
            }
        }
    }
    return ChannelsPresent();
}

void BitmapStorage::DeleteChannels(ULONG channelIDs) {
    for (auto it = channels->byId.begin(); it != channels->byId.end();) {
        it = (it->first & channelIDs) != 0 ? channels->byId.erase(it) : std::next(it);
    }
}

ULONG BitmapStorage::ChannelsPresent() {
    ULONG present = 0;
    for (const auto& channel : channels->byId) {
        present |= channel.first;
    }
    return present;
}

RenderInfo* BitmapStorage::AllocRenderInfo() {
    if (!renderInfo) {
        renderInfo.reset(new RenderInfo());
    }
    return renderInfo.get();
}

RenderInfo* BitmapStorage::GetRenderInfo() {
    return renderInfo.get();
}

Bitmap::Bitmap(const BitmapInfo& description) : storage(nullptr) {
    info.CopyImageInfo(const_cast<BitmapInfo*>(&description));
}

Bitmap::~Bitmap() {
    delete storage;
}

int Bitmap::Width() {
    return info.Width();
}

int Bitmap::Height() {
    return info.Height();
}

BitmapStorage* Bitmap::Storage() {
    return storage;
}

int Bitmap::DeleteThis() {
    delete this;
    return 1;
}

Bitmap* BitmapManager::MakeBitmap(const BitmapInfo& info) {
    std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap(info));
    if (!bitmap) {
        return nullptr;
    }
    if (info.Type() != BMM_NO_TYPE) {
        bitmap->storage = new (std::nothrow) FrameStorage(info);
        if (bitmap->storage == nullptr) {
            return nullptr;
        }
    }
    return bitmap.release();
}

BitmapIO::BitmapIO()
    : gamma(1.0f), map(nullptr), storage(nullptr), openMode(BMM_NOT_OPEN), prevIO(nullptr),
      nextIO(nullptr) {}

BitmapIO::~BitmapIO() = default;

void BitmapIO::GetCfgFilename(MCHAR* filename) {
    filename[0] = 0;
    const MCHAR* folder = TheManager->GetDir(APP_PLUGCFG_DIR);
    const MCHAR* shortDesc = ShortDesc();
    if (folder == nullptr || folder[0] == 0 || shortDesc == nullptr) {
        return;
    }
    const std::wstring path = std::wstring(folder) + L"/" + shortDesc + L".cfg";
    if (path.size() < MAX_PATH) {
        std::wcscpy(filename, path.c_str());
    }
}

BOOL BitmapIO::ReadCfg() {
    MCHAR filename[MAX_PATH];
    GetCfgFilename(filename);
    if (filename[0] == 0) {
        return FALSE;
    }
    File file = OpenFile(filename, "rb");
    if (!file) {
        return FALSE;
    }
    std::vector<unsigned char> block;
    unsigned char chunk[256];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        block.insert(block.end(), chunk, chunk + got);
        if (block.size() > static_cast<std::size_t>(largestConfiguration)) {
            return FALSE;
        }
    }
    if (std::ferror(file.get())) {
        return FALSE;
    }
    return LoadConfigure(block.empty() ? nullptr : block.data(), static_cast<DWORD>(block.size()));
}

void BitmapIO::WriteCfg() {
    MCHAR filename[MAX_PATH];
    GetCfgFilename(filename);
    if (filename[0] == 0) {
        return;
    }
    const DWORD size = EvaluateConfigure();
    std::vector<unsigned char> block(size);
    if (size > 0 && !SaveConfigure(block.data())) {
        return;
    }
    File file = OpenFile(filename, "wb");
    if (file) {
        std::fwrite(block.data(), 1, block.size(), file.get());
    }
}

BOOL BitmapIO::ValidatePiData(BitmapInfo* /*bi*/) {
    return TRUE;
}

BMMRES BitmapIO::OpenOutput(BitmapInfo* /*bi*/, Bitmap* output) {
    map = output;
    openMode = BMM_OPEN_W;
    return BMMRES_SUCCESS;
}

BMMRES BitmapIO::Write(int /*frame*/) {
    return BMMRES_INTERNALERROR;
}

int BitmapIO::Close(int /*flag*/) {
    openMode = BMM_NOT_OPEN;
    map = nullptr;
    return 1;
}

BOOL BitmapIO::SilentMode() {
    return TheManager->SilentMode();
}

BMMRES BitmapIO::ProcessImageIOError(BitmapInfo* info, const MCHAR* string) {
    MaxHost::HostState& state = MaxHost::State();
    state.errorReports.push_back(
        {info != nullptr ? info->Name() : L"", false, 0, string != nullptr ? string : L""});
    return state.errorResult;
}

BMMRES BitmapIO::ProcessImageIOError(BitmapInfo* info, int errorcode) {
    MaxHost::HostState& state = MaxHost::State();
    state.errorReports.push_back({info != nullptr ? info->Name() : L"", true, errorcode, L""});
    return state.errorResult;
}
