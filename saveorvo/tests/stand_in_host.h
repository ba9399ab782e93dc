// The stand-in host as every plug-in test starts it: afresh, with its main window, a
// configuration folder of the test's own and no dialogs recorded or scripted. The tests that
// link the plug-in's pieces and the tests that load the built module both start from here.
#pragma once

#include "maxsdk_host/host_state.h"
#include "platform/user32_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<char> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

class StandInHost : public testing::Test {
protected:
    void SetUp() override {
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
        std::filesystem::remove_all(cfgFolder);
        MaxHost::Reset();
    }
    // The plug-in's configuration file, named after its short description.
    std::filesystem::path CfgFile() const { return cfgFolder / "ORV.cfg"; }

    std::filesystem::path cfgFolder;
    HWND mainWindow = reinterpret_cast<HWND>(0x3D5);
};
