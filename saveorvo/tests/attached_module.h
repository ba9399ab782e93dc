// A fixture for tests that link the plug-in's pieces directly: the module is "loaded" under a
// handle of the test's choosing, with the resources of saveorvo.rc registered under it, and
// the stand-in host starts afresh with its own configuration folder.
#pragma once

#include "maxsdk_host/host_state.h"
#include "module_resources.h"
#include "platform/kernel32_module.h"
#include "platform/user32.h"
#include "platform/user32_resources.h"
#include "platform/user32_script.h"
#include "saveorvo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline HMODULE TestModule() {
    return reinterpret_cast<HMODULE>(0x6A000000);
}

inline std::vector<char> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

class AttachedModule : public testing::Test {
protected:
    void SetUp() override {
        RegisterModuleResources(TestModule());
        DllMain(TestModule(), DLL_PROCESS_ATTACH, nullptr);
        MaxHost::Reset();
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        cfgFolder = std::filesystem::temp_directory_path() /
                    (std::string("saveorvo_") + test->test_suite_name() + "_" + test->name());
        std::filesystem::remove_all(cfgFolder);
        std::filesystem::create_directories(cfgFolder);
        MaxHost::SetPlugCfgFolder(cfgFolder.wstring());
        MaxHost::SetMainWindow(mainWindow);
        platform::ClearDialogs();
        platform::ScriptDialogs({});
    }
    void TearDown() override {
        DllMain(TestModule(), DLL_PROCESS_DETACH, nullptr);
        platform::UnregisterModuleResources(TestModule());
        std::filesystem::remove_all(cfgFolder);
        MaxHost::Reset();
    }
    std::filesystem::path CfgFile() const { return cfgFolder / "ORV.cfg"; }

    std::filesystem::path cfgFolder;
    HWND mainWindow = reinterpret_cast<HWND>(0x3D5);
};
