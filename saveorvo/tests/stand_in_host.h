// The stand-in host as every plug-in test starts it: afresh, with its main window, a
// configuration folder of the test's own and no dialogs recorded or scripted. The tests that
// link the plug-in's pieces and the tests that load the built module both start from here.
#pragma once

#include "maxsdk_host/host_state.h"
#include "platform/user32_script.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class StandInHost : public testing::Test {
protected:
    void SetUp() override {
        MaxHost::Reset();
        MaxHost::SetPlugCfgFolder(cfgFolder.wstring());
        MaxHost::SetMainWindow(mainWindow);
        platform::ClearDialogs();
        platform::ScriptDialogs({});
    }
    void TearDown() override { MaxHost::Reset(); }
    // The plug-in's configuration file, named after its short description.
    std::string CfgFile() const { return temporaryFolder.Path("ORV.cfg"); }

    test::TemporaryFolder temporaryFolder;
    const std::filesystem::path cfgFolder{temporaryFolder.path()};
    HWND mainWindow = reinterpret_cast<HWND>(0x3D5);
};
