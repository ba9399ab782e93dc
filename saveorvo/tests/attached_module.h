// A fixture for tests that link the plug-in's pieces directly: the module is "loaded" under a
// handle of the test's choosing, with the resources of saveorvo.rc registered under it, in a
// freshly started stand-in host.
#pragma once

#include "module_resources.h"
#include "platform/kernel32_module.h"
#include "platform/user32.h"
#include "platform/user32_resources.h"
#include "saveorvo.h"
#include "stand_in_host.h"

inline HMODULE TestModule() {
    return reinterpret_cast<HMODULE>(0x6A000000);
}

class AttachedModule : public StandInHost {
protected:
    void SetUp() override {
        RegisterModuleResources(TestModule());
        DllMain(TestModule(), DLL_PROCESS_ATTACH, nullptr);
        StandInHost::SetUp();
    }
    void TearDown() override {
        DllMain(TestModule(), DLL_PROCESS_DETACH, nullptr);
        platform::UnregisterModuleResources(TestModule());
        StandInHost::TearDown();
    }
};
