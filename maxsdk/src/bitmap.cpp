// Image information, bitmaps and the inherited behaviour of bitmap-IO objects.
#include "bitmap.h"

#include "host_internal.h"
#include "platform/text.h"

#include <cstdio>
#include <cwchar>
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<std::FILE, FileCloser> File;

File OpenFile(const MCHAR* path, const char* mode) {
    return File(std::fopen(platform::WideToAnsi(path).c_str(), mode));
}

// Configuration blocks are small; anything larger is not one of ours.
const long largestConfiguration = 1 << 20;

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

Bitmap::Bitmap(const BitmapInfo& description) : storage(nullptr) {
    info.CopyImageInfo(const_cast<BitmapInfo*>(&description));
}

Bitmap::~Bitmap() = default;

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
    return new (std::nothrow) Bitmap(info);
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
