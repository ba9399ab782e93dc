#include "plugin_output.h"

#include "maxsdk_host/host_state.h"
#include "platform/kernel32_module.h"
#include "platform/text.h"

#include <cstdio>
#include <cwchar>
#include <stdexcept>

namespace RenderHost {

namespace {

typedef ULONG (*LibVersionFunction)();
typedef ClassDesc* (*LibClassDescFunction)(int);

std::string Hex(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// What the plug-in told the host's error reporter during the last call, for the user.
std::string ReportedErrors() {
    std::string text;
    for (const MaxHost::ErrorReport& report : MaxHost::ErrorReports()) {
        text += text.empty() ? ": " : "; ";
        text += report.byCode ? "host error code " + std::to_string(report.code)
                              : platform::WideToAnsi(report.text);
    }
    return text;
}

} // namespace

PluginModule::PluginModule(const std::string& path)
    : module(LoadLibraryW(platform::AnsiToWide(path).c_str())), descriptor(nullptr) {
    if (module == nullptr) {
        throw std::runtime_error("cannot load the plug-in " + path + ": " +
                                 platform::LastModuleError());
    }
    try {
        // The host's own checks before it uses a module: built for this SDK, and its class a
        // bitmap-IO class.
        const auto libVersion =
            platform::GetProcAddressAs<LibVersionFunction>(module, "LibVersion");
        const auto libClassDesc =
            platform::GetProcAddressAs<LibClassDescFunction>(module, "LibClassDesc");
        if (libVersion == nullptr || libClassDesc == nullptr) {
            throw std::runtime_error(path +
                                     " is no 3ds Max plug-in (no LibVersion or LibClassDesc)");
        }
        if (libVersion() != VERSION_3DSMAX) {
            throw std::runtime_error(path + " is built for SDK version " + Hex(libVersion()) +
                                     ", this host is " + Hex(VERSION_3DSMAX));
        }
        descriptor = libClassDesc(0);
        if (descriptor == nullptr || descriptor->SuperClassID() != BMM_IO_CLASS_ID) {
            throw std::runtime_error(path + " has no bitmap-IO class");
        }
    } catch (...) {
        FreeLibrary(module);
        throw;
    }
}

PluginModule::~PluginModule() {
    FreeLibrary(module);
}

std::unique_ptr<BitmapIO> PluginModule::CreateWriter(bool useMaterialNames) const {
    std::unique_ptr<BitmapIO> writer(static_cast<BitmapIO*>(descriptor->Create(FALSE)));
    if (!writer) {
        throw std::runtime_error("the plug-in made no bitmap-IO object");
    }
    // The writer's one-byte configuration block, as the render settings keep it: 1 names
    // objects after their materials, 0 after their nodes.
    BYTE block = useMaterialNames ? 1 : 0;
    if (writer->EvaluateConfigure() != sizeof block ||
        !writer->LoadConfigure(&block, sizeof block)) {
        throw std::runtime_error("the plug-in does not take its one-byte configuration");
    }
    return writer;
}

OutputFrame::OutputFrame(const std::wstring& path, int width, int height, DWORD channels)
    : info(), bitmap(nullptr), storage(nullptr), depth(nullptr), renderIds(nullptr) {
    if (path.size() >= MAX_PATH) {
        throw std::runtime_error("the output path is too long for the host: " +
                                 platform::WideToAnsi(path));
    }
    info.SetName(path.c_str());
    info.SetWidth(static_cast<WORD>(width));
    info.SetHeight(static_cast<WORD>(height));
    info.SetType(BMM_TRUE_64);
    bitmap = TheManager->Create(&info);
    if (bitmap == nullptr || bitmap->Storage() == nullptr) {
        throw std::runtime_error("the host could not make an output bitmap");
    }
    storage = bitmap->Storage();
    storage->CreateChannels(channels);
    ULONG type = 0;
    depth = static_cast<float*>(storage->GetChannel(BMM_CHAN_Z, type));
    renderIds = static_cast<WORD*>(storage->GetChannel(BMM_CHAN_NODE_RENDER_ID, type));
}

OutputFrame::~OutputFrame() {
    bitmap->DeleteThis();
}

OrvoOutput::OrvoOutput(const PluginModule& module, bool useMaterialNames, const std::wstring& path,
                       int width, int height)
    : writer(module.CreateWriter(useMaterialNames)),
      frame(path, width, height, writer->ChannelsRequired()) {
    MaxHost::ClearErrorReports();
    if (writer->OpenOutput(&frame.Info(), frame.Output()) != BMMRES_SUCCESS) {
        throw std::runtime_error("the plug-in could not open the output " +
                                 platform::WideToAnsi(path) + ReportedErrors());
    }
}

OrvoOutput::~OrvoOutput() {
    writer->Close(BMM_CLOSE_COMPLETE);
    // The members would go the other way round, the bitmap first.
    writer.reset();
}

void OrvoOutput::Write(int frameNumber) {
    MaxHost::ClearErrorReports();
    if (writer->Write(frameNumber) != BMMRES_SUCCESS || !MaxHost::ErrorReports().empty()) {
        MCHAR name[MAX_PATH] = L"";
        if (frameNumber == BMM_SINGLEFRAME ||
            !BMMCreateNumberedFilename(frame.Info().Name(), frameNumber, name)) {
            std::wcsncpy(name, frame.Info().Name(), MAX_PATH - 1);
        }
        throw std::runtime_error("the plug-in could not write " + platform::WideToAnsi(name) +
                                 ReportedErrors());
    }
}

} // namespace RenderHost
