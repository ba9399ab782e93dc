// A host that loads saveorvo.bmi at run time and drives it through its exports as 3ds Max
// does: the version check, the class listing, objects made and deleted through the
// descriptor, the configuration file, both dialogs, an output opened and closed, and rendered
// frames written as files that the reader loads back.
#include "bmmlib.h"
#include "max.h"
#include "maxsdk_host/host_state.h"
#include "platform/kernel32_module.h"
#include "platform/text.h"
#include "platform/user32.h"
#include "platform/user32_script.h"
#include "stand_in_host.h"
#include "test_frame.h"

#include <vector>

namespace {

typedef const MCHAR* (*LibDescriptionFunction)();
typedef int (*LibNumberClassesFunction)();
typedef ClassDesc* (*LibClassDescFunction)(int);
typedef ULONG (*ULongFunction)();

class PluginHost : public StandInHost {
protected:
    void SetUp() override {
        StandInHost::SetUp();
        module = LoadLibraryW(platform::AnsiToWide(SAVEORVO_MODULE).c_str());
        ASSERT_NE(module, nullptr) << platform::LastModuleError();
        libDescription =
            reinterpret_cast<LibDescriptionFunction>(GetProcAddress(module, "LibDescription"));
        libNumberClasses =
            reinterpret_cast<LibNumberClassesFunction>(GetProcAddress(module, "LibNumberClasses"));
        libClassDesc =
            reinterpret_cast<LibClassDescFunction>(GetProcAddress(module, "LibClassDesc"));
        libVersion = reinterpret_cast<ULongFunction>(GetProcAddress(module, "LibVersion"));
        canAutoDefer = reinterpret_cast<ULongFunction>(GetProcAddress(module, "CanAutoDefer"));
        ASSERT_TRUE(libDescription && libNumberClasses && libClassDesc && libVersion &&
                    canAutoDefer);
        // The host refuses a module built for another SDK before touching anything else.
        ASSERT_EQ(libVersion(), static_cast<ULONG>(VERSION_3DSMAX));
    }
    void TearDown() override {
        if (module != nullptr) {
            EXPECT_TRUE(FreeLibrary(module));
        }
        StandInHost::TearDown();
    }

    // The module's one bitmap-IO class, as the host finds it in the class listing.
    ClassDesc* BitmapIOClass() {
        for (int i = 0; i < libNumberClasses(); ++i) {
            ClassDesc* descriptor = libClassDesc(i);
            if (descriptor != nullptr && descriptor->SuperClassID() == BMM_IO_CLASS_ID) {
                return descriptor;
            }
        }
        return nullptr;
    }

    BitmapIO* CreateObject() {
        ClassDesc* descriptor = BitmapIOClass();
        return descriptor == nullptr ? nullptr : static_cast<BitmapIO*>(descriptor->Create());
    }

    HMODULE module = nullptr;
    LibDescriptionFunction libDescription = nullptr;
    LibNumberClassesFunction libNumberClasses = nullptr;
    LibClassDescFunction libClassDesc = nullptr;
    ULongFunction libVersion = nullptr;
    ULongFunction canAutoDefer = nullptr;
};

} // namespace

TEST_F(PluginHost, ExportsAndClassListing) {
    EXPECT_EQ(libVersion(), 0x4A383000u);
    EXPECT_EQ(canAutoDefer(), 1u);
    ASSERT_NE(libDescription(), nullptr);
    EXPECT_STREQ(libDescription(), L"Orvo File Writer (Tessaly, www.tessaly.com)");
    EXPECT_EQ(libNumberClasses(), 1);

    ClassDesc* descriptor = BitmapIOClass();
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(libClassDesc(0), descriptor);
    EXPECT_EQ(libClassDesc(1), nullptr);
    EXPECT_EQ(libClassDesc(-1), nullptr);
    EXPECT_EQ(descriptor->IsPublic(), 1);
    EXPECT_EQ(descriptor->SuperClassID(), 0xB30u);
    EXPECT_TRUE(descriptor->ClassID() == Class_ID(0x1DED7A21, 0x4F40539E));
    EXPECT_STREQ(descriptor->ClassName(), L"ORV");
    EXPECT_STREQ(descriptor->Category(), L"Bitmap IO");
    EXPECT_EQ(descriptor->InternalName(), nullptr);
    EXPECT_EQ(descriptor->HInstance(), nullptr);
    EXPECT_EQ(descriptor->NumInterfaces(), 0);
    // The range exception is thrown inside the module and caught here, in the host.
    for (int i : {0, 1, -1}) {
        try {
            descriptor->GetInterfaceAt(i);
            ADD_FAILURE() << "no exception for " << i;
        } catch (const MaxSDK::Util::OutOfRangeException& error) {
            EXPECT_NE(dynamic_cast<const MaxSDK::Util::TabOutOfRangeException*>(&error), nullptr);
            EXPECT_STREQ(error.GetMessage(),
                         L"Invalid index passed into a Max SDK Tab::operator[]");
        }
    }
}

TEST_F(PluginHost, ModuleExportsNothingElse) {
    for (const char* name : {"DllMain", "LoadResourceString", "moduleInstance",
                             "RegisterModuleResources", "AboutDialogProc"}) {
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
    }
}

TEST_F(PluginHost, ObjectDescribesItselfAndIsDeletedThroughItsDestructor) {
    const long before = MaxHost::LiveHeapObjects();
    BitmapIO* object = CreateObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(MaxHost::LiveHeapObjects(), before + 1);
    EXPECT_STREQ(object->Ext(0), L"orv");
    EXPECT_STREQ(object->LongDesc(), L"Orvo Image File");
    EXPECT_EQ(object->Capability(), BMMIO_WRITER | BMMIO_EXTENSION | BMMIO_CONTROLWRITE);
    EXPECT_EQ(object->NumInterfaces(), 0);
    EXPECT_THROW(object->GetInterfaceAt(2), MaxSDK::Util::TabOutOfRangeException);
    delete object;
    EXPECT_EQ(MaxHost::LiveHeapObjects(), before);

    MaxHost::FailNextAllocations(1);
    EXPECT_EQ(CreateObject(), nullptr);
    EXPECT_EQ(MaxHost::LiveHeapObjects(), before);
}

TEST_F(PluginHost, ConfigurationTravelsThroughTheConfigurationFile) {
    BitmapIO* object = CreateObject();
    ASSERT_NE(object, nullptr);
    BYTE block = 0xEE;
    ASSERT_EQ(object->EvaluateConfigure(), 1u);
    EXPECT_TRUE(object->SaveConfigure(&block));
    EXPECT_EQ(block, 1);

    // The user picks "Use object names" and confirms: the file holds the new setting.
    platform::ScriptDialogs({{platform::ClickControl(51), platform::ClickControl(IDOK)}});
    EXPECT_TRUE(object->ShowControl(mainWindow, BMMIO_CONTROLWRITE));
    EXPECT_EQ(test::ReadFileBytes(CfgFile()), test::Bytes{0});
    delete object;

    // A later object takes the stored setting when the host reads the configuration.
    object = CreateObject();
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->ReadCfg());
    EXPECT_TRUE(object->SaveConfigure(&block));
    EXPECT_EQ(block, 0);

    // Back to material names, then Cancel: the file keeps "object names".
    platform::ScriptDialogs({{platform::ClickControl(50), platform::ClickControl(IDCANCEL)}});
    EXPECT_FALSE(object->ShowControl(mainWindow, BMMIO_CONTROLWRITE));
    EXPECT_EQ(test::ReadFileBytes(CfgFile()), test::Bytes{0});
    const platform::DialogRecord& dialog = platform::Dialogs().back();
    EXPECT_EQ(dialog.checksAfterInit.at(51), BST_CHECKED);
    EXPECT_EQ(dialog.checksAtEnd.at(50), BST_CHECKED);
    delete object;
}

TEST_F(PluginHost, AboutBoxIsOwnedByTheGivenWindow) {
    BitmapIO* object = CreateObject();
    ASSERT_NE(object, nullptr);
    platform::ScriptDialogs({{platform::ClickControl(IDOK)}});
    object->ShowAbout(mainWindow);
    ASSERT_EQ(platform::Dialogs().size(), 1u);
    EXPECT_EQ(platform::Dialogs()[0].module, module);
    EXPECT_EQ(platform::Dialogs()[0].templateId, 111u);
    EXPECT_EQ(platform::Dialogs()[0].result, 1);
    ASSERT_EQ(MaxHost::CenteredWindows().size(), 1u);
    EXPECT_EQ(MaxHost::CenteredWindows()[0].parent, mainWindow);
    delete object;
}

TEST_F(PluginHost, UnloadingWithdrawsTheResources) {
    wchar_t text[8];
    EXPECT_EQ(LoadStringW(module, 1, text, 8), 3);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(LoadStringW(module, 1, text, 8), 0);
    module = nullptr;
}

TEST_F(PluginHost, RenderedFramesBecomeFilesThatReadBack) {
    // A camera at (0, -10, 2) looking along world +Y with Z up, 90 degrees across 4 pixels.
    const Matrix3 camToWorld(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0), Point3(0, -10, 2));
    Mtl* brick = MaxHost::AddMaterial(L"Brick", Color(0.8f, 0.2f, 0.1f));
    MaxHost::AddNode(5, L"Wall", 0x00102030, brick);
    MaxHost::AddNode(6, L"Chimney", 0x00405060, brick);
    MaxHost::AddNode(7, L"", 0x00A0B0C0, nullptr);
    DispInfo display = {};
    display.dispType = UNITDISP_GENERIC;
    SetUnitDisplayInfo(&display);
    SetMasterUnitInfo(UNITS_CENTIMETERS, 2.5f);

    TestFrame frame((cfgFolder / "house.orv").wstring(), 4, 2);
    RenderInfo* info = frame.storage->AllocRenderInfo();
    MaxHost::SetPerspectiveCamera(*info, 4, 2, static_cast<float>(M_PI / 2), camToWorld);
    frame.Hit(0, 0, -12.5f, 5, {0x8000, 0x4000, 0x2000, 0xFFFF});
    frame.Hit(1, 0, -30.0f, 6, {0xFF00, 0x00FF, 0x0000, 0xFFFF});
    frame.Hit(3, 0, -7.0f, 42, {0x0100, 0x0200, 0x0300, 0xFFFF});
    frame.Hit(2, 1, -100.0f, 7, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});

    BitmapIO* object = CreateObject();
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->OpenOutput(&frame.info, frame.bitmap), BMMRES_SUCCESS);
    ASSERT_EQ(object->Write(1), BMMRES_SUCCESS);
    frame.Hit(0, 1, -20.0f, 0xFFFF);
    ASSERT_EQ(object->Write(2), BMMRES_SUCCESS);
    object->Close(BMM_CLOSE_COMPLETE);
    delete object;
    EXPECT_TRUE(MaxHost::ErrorReports().empty());

    OrvoContents first(cfgFolder / "house0001.orv");
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.width, 4);
    EXPECT_EQ(first.height, 2);
    EXPECT_EQ(std::vector<unsigned char>(first.colour, first.colour + 12),
              (std::vector<unsigned char>{0x80, 0x40, 0x20, 0xFF, 0x00, 0x00, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(std::vector<std::uint16_t>(first.ids, first.ids + 8),
              (std::vector<std::uint16_t>{1, 1, 0, 2, 0, 0, 3, 0}));
    const float distances[8] = {12.5f, 30.0f, 0.0f, 7.0f, 0.0f, 0.0f, 100.0f, 0.0f};
    for (int i = 0; i < 8; ++i) {
        if (distances[i] == 0.0f) {
            EXPECT_EQ(first.depth[i], NoDepthCode) << i;
        } else {
            EXPECT_NEAR(first.Distance(first.depth[i]), distances[i], first.Step(first.depth[i]))
                << i;
        }
    }

    const PerspectiveView& view = first.view;
    EXPECT_EQ(view.projection, ProjectionPerspective);
    EXPECT_EQ(std::make_tuple(view.eyePoint.x, view.eyePoint.y, view.eyePoint.z),
              std::make_tuple(0.0, -10.0, 2.0));
    EXPECT_EQ(std::make_tuple(view.viewDirection.x, view.viewDirection.y, view.viewDirection.z),
              std::make_tuple(0.0, 1.0, 0.0));
    EXPECT_EQ(std::make_tuple(view.upAxis.x, view.upAxis.y, view.upAxis.z),
              std::make_tuple(0.0, 0.0, 1.0));
    EXPECT_NEAR(view.cornerTopLeft.x / view.cornerTopLeft.z, -0.75, 1e-6);
    EXPECT_NEAR(view.cornerTopLeft.y / view.cornerTopLeft.z, 0.25, 1e-6);
    EXPECT_NEAR(view.cornerBottomRight.x / view.cornerBottomRight.z, 0.75, 1e-6);
    EXPECT_NEAR(view.cornerBottomRight.y / view.cornerBottomRight.z, -0.25, 1e-6);
    EXPECT_EQ(view.nearDepth, 3.5);
    EXPECT_EQ(view.farDepth, 200.0);
    EXPECT_EQ(view.unitCode, UnitCentimetre);
    EXPECT_EQ(view.unitScale, 2.5);

    // Material naming: the wall and the chimney share the brick; render identifier 42 has no
    // node; the unnamed node is numbered anew in every file.
    ASSERT_EQ(first.objects.size(), 3u);
    const ObjectEntry& brickEntry = first.Object(1);
    EXPECT_EQ(brickEntry.name, L"Brick");
    EXPECT_EQ(std::make_tuple(brickEntry.red, brickEntry.green, brickEntry.blue),
              std::make_tuple(204, 51, 26));
    const ObjectEntry& unknownNode = first.Object(2);
    EXPECT_EQ(unknownNode.name, L"Node ID 42");
    EXPECT_EQ(std::make_tuple(unknownNode.red, unknownNode.green, unknownNode.blue),
              std::make_tuple(146, 255, 236));
    const ObjectEntry& unnamed = first.Object(3);
    EXPECT_EQ(unnamed.name, L"Unnamed 1");
    EXPECT_EQ(std::make_tuple(unnamed.red, unnamed.green, unnamed.blue),
              std::make_tuple(0xC0, 0xB0, 0xA0));

    OrvoContents second(cfgFolder / "house0002.orv");
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(std::vector<std::uint16_t>(second.ids, second.ids + 8),
              (std::vector<std::uint16_t>{1, 1, 0, 2, 0, 0, 3, 0}));
    EXPECT_NEAR(second.Distance(second.depth[4]), 20.0, second.Step(second.depth[4]));
    ASSERT_EQ(second.objects.size(), 3u);
    EXPECT_EQ(second.Object(2).name, L"Node ID 42");
    EXPECT_EQ(second.Object(3).name, L"Unnamed 2");
}
