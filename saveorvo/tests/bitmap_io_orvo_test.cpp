#include "attached_module.h"
#include "bitmap_io_orvo.h"
#include "resource.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

struct BitmapDeleter {
    void operator()(Bitmap* bitmap) const { bitmap->DeleteThis(); }
};

std::unique_ptr<Bitmap, BitmapDeleter> MakeBitmap(BitmapInfo& info) {
    return std::unique_ptr<Bitmap, BitmapDeleter>(TheManager->Create(&info));
}

std::vector<unsigned char> Saved(BitmapIO& object) {
    std::vector<unsigned char> block(object.EvaluateConfigure(), 0xEE);
    EXPECT_TRUE(object.SaveConfigure(block.data()));
    return block;
}

class BitmapIOOrvo : public AttachedModule {
protected:
    BitmapIO_Orvo object;
};

} // namespace

TEST_F(BitmapIOOrvo, StartsEmptyAndClosed) {
    EXPECT_EQ(object.Capture().width, 0);
    EXPECT_EQ(object.Capture().height, 0);
    EXPECT_EQ(object.Capture().depthChannel, nullptr);
    EXPECT_EQ(object.Capture().depthNear, 0.0f);
    EXPECT_EQ(object.Capture().depthFar, 0.0f);
    EXPECT_EQ(object.Capture().objectIdChannel, nullptr);
    EXPECT_TRUE(object.Capture().objectIdByRenderId.empty());
    EXPECT_TRUE(object.Capture().objectEntries.empty());
    EXPECT_EQ(object.Capture().nextObjectId, 1);
    EXPECT_TRUE(object.Capture().objectIdByMaterial.empty());
    EXPECT_TRUE(object.Capture().useMaterialNames);
    EXPECT_EQ(object.OpenMode(), BMM_NOT_OPEN);
}

TEST_F(BitmapIOOrvo, DescribesTheFormat) {
    EXPECT_EQ(object.ExtCount(), 1);
    EXPECT_STREQ(object.Ext(0), L"orv");
    EXPECT_STREQ(object.Ext(5), L"orv");
    EXPECT_STREQ(object.LongDesc(), L"Orvo Image File");
    EXPECT_STREQ(object.ShortDesc(), L"ORV");
    EXPECT_STREQ(object.AuthorName(), L"Tessaly");
    EXPECT_STREQ(object.CopyrightMessage(), L"Copyright (c) 2016 Tessaly");
    EXPECT_EQ(object.LongDesc(), object.AuthorName());
    EXPECT_EQ(object.Version(), 123u);
    EXPECT_EQ(object.Capability(), 0x40000006);
    EXPECT_EQ(object.ChannelsRequired(), 257u);

    BitmapInfo info(L"in.orv");
    info.SetWidth(5);
    EXPECT_EQ(object.GetImageInfo(&info), BMMRES_ERRORTAKENCARE);
    EXPECT_EQ(info.Width(), 5);
    BMMRES status = 77;
    EXPECT_EQ(object.Load(&info, nullptr, &status), nullptr);
    EXPECT_EQ(status, 77);
}

TEST_F(BitmapIOOrvo, DescriptionsAreNullWithoutTheModuleHandle) {
    DllMain(TestModule(), DLL_PROCESS_DETACH, nullptr);
    EXPECT_EQ(object.LongDesc(), nullptr);
    EXPECT_EQ(object.ShortDesc(), nullptr);
    EXPECT_EQ(object.AuthorName(), nullptr);
    EXPECT_EQ(object.CopyrightMessage(), nullptr);
    EXPECT_STREQ(object.Ext(0), L"orv");
}

TEST_F(BitmapIOOrvo, ConfigurationBlockIsOneByte) {
    EXPECT_EQ(object.EvaluateConfigure(), 1u);
    EXPECT_EQ(Saved(object), std::vector<unsigned char>{1});

    object.Capture().useMaterialNames = false;
    const std::vector<unsigned char> block = Saved(object);
    EXPECT_EQ(block, std::vector<unsigned char>{0});
    BitmapIO_Orvo fresh;
    EXPECT_TRUE(fresh.LoadConfigure(const_cast<unsigned char*>(block.data()), 1));
    EXPECT_FALSE(fresh.Capture().useMaterialNames);
    unsigned char on = 1;
    EXPECT_TRUE(fresh.LoadConfigure(&on, 1));
    EXPECT_TRUE(fresh.Capture().useMaterialNames);

    // Refused blocks change nothing.
    unsigned char off = 0;
    EXPECT_FALSE(fresh.LoadConfigure(nullptr, 1));
    EXPECT_FALSE(fresh.LoadConfigure(&off, 0));
    EXPECT_TRUE(fresh.Capture().useMaterialNames);
    EXPECT_FALSE(fresh.SaveConfigure(nullptr));
}

TEST_F(BitmapIOOrvo, OpenOutputEmptiesTheTableOnceAndRefusesASecondOpen) {
    BitmapInfo info(L"/renders/face.orv");
    info.SetWidth(32);
    info.SetHeight(32);
    auto bitmap = MakeBitmap(info);
    object.Capture().objectEntries.push_back({1, L"Old", 1, 2, 3});
    object.Capture().objectIdByRenderId[4] = 1;
    object.Capture().objectIdByMaterial[nullptr] = 1;
    object.Capture().nextObjectId = 2;

    EXPECT_EQ(object.OpenOutput(&info, bitmap.get()), BMMRES_SUCCESS);
    EXPECT_EQ(object.OpenMode(), BMM_OPEN_W);
    EXPECT_EQ(object.Map(), bitmap.get());
    EXPECT_STREQ(object.bi.Name(), L"/renders/face.orv");
    EXPECT_EQ(object.bi.Width(), 32);
    EXPECT_TRUE(object.Capture().objectEntries.empty());
    EXPECT_TRUE(object.Capture().objectIdByRenderId.empty());
    EXPECT_TRUE(object.Capture().objectIdByMaterial.empty());
    EXPECT_EQ(object.Capture().nextObjectId, 1);
    EXPECT_TRUE(MaxHost::ErrorReports().empty());

    // Entries made by the writes of this output.
    object.Capture().objectEntries.push_back({1, L"Box", 9, 9, 9});
    object.Capture().objectIdByRenderId[7] = 1;
    object.Capture().nextObjectId = 2;
    BitmapInfo other(L"/renders/other.orv");
    auto otherBitmap = MakeBitmap(other);
    MaxHost::SetErrorResult(BMMRES_RETRY);
    EXPECT_EQ(object.OpenOutput(&other, otherBitmap.get()), BMMRES_RETRY);
    ASSERT_EQ(MaxHost::ErrorReports().size(), 1u);
    EXPECT_TRUE(MaxHost::ErrorReports()[0].byCode);
    EXPECT_EQ(MaxHost::ErrorReports()[0].code, 12);
    EXPECT_EQ(MaxHost::ErrorReports()[0].name, L"/renders/other.orv");
    EXPECT_EQ(object.Capture().objectEntries.size(), 1u);
    EXPECT_EQ(object.Capture().objectIdByRenderId.size(), 1u);
    EXPECT_EQ(object.Capture().nextObjectId, 2);
    EXPECT_STREQ(object.bi.Name(), L"/renders/face.orv");
    EXPECT_EQ(object.Map(), bitmap.get());

    // The finished output is closed; the next one starts from an empty table.
    EXPECT_EQ(object.Close(BMM_CLOSE_COMPLETE), 1);
    EXPECT_EQ(object.OpenMode(), BMM_NOT_OPEN);
    EXPECT_EQ(object.Capture().objectEntries.size(), 1u);
    MaxHost::SetErrorResult(BMMRES_ERRORTAKENCARE);
    EXPECT_EQ(object.OpenOutput(&other, otherBitmap.get()), BMMRES_SUCCESS);
    EXPECT_TRUE(object.Capture().objectEntries.empty());
    EXPECT_EQ(object.Capture().nextObjectId, 1);
    EXPECT_STREQ(object.bi.Name(), L"/renders/other.orv");
}

TEST_F(BitmapIOOrvo, OpenOutputWithoutABitmapIsRefused) {
    BitmapInfo info(L"/renders/face.orv");
    object.Capture().objectEntries.push_back({1, L"Kept", 1, 2, 3});
    EXPECT_EQ(object.OpenOutput(&info, nullptr), BMMRES_ERRORTAKENCARE);
    ASSERT_EQ(MaxHost::ErrorReports().size(), 1u);
    EXPECT_EQ(MaxHost::ErrorReports()[0].code, BMMRES_INTERNALERROR);
    EXPECT_EQ(object.OpenMode(), BMM_NOT_OPEN);
    EXPECT_EQ(object.Capture().objectEntries.size(), 1u);
    EXPECT_STREQ(object.bi.Name(), L"");
}

TEST_F(BitmapIOOrvo, AboutDialogCentresOverItsOwnerWithTheArrowCursor) {
    platform::ScriptDialogs({{platform::ClickControl(IDOK)}, {}});
    SetCursor(nullptr);
    object.ShowAbout(mainWindow);
    object.ShowAbout(mainWindow);

    ASSERT_EQ(platform::Dialogs().size(), 2u);
    const platform::DialogRecord& about = platform::Dialogs()[0];
    EXPECT_EQ(about.module, TestModule());
    EXPECT_EQ(about.templateId, static_cast<UINT>(IDD_ABOUT));
    EXPECT_EQ(about.owner, mainWindow);
    EXPECT_EQ(about.result, 1);
    EXPECT_EQ(about.messages[0].returned, TRUE);
    EXPECT_EQ(about.messages[1].returned, TRUE);
    ASSERT_EQ(MaxHost::CenteredWindows().size(), 2u);
    EXPECT_EQ(MaxHost::CenteredWindows()[0].window, about.dialog);
    EXPECT_EQ(MaxHost::CenteredWindows()[0].parent, mainWindow);
    EXPECT_EQ(platform::CurrentCursor(), LoadCursorW(nullptr, IDC_ARROW));
    // Closed without a button: Escape's IDCANCEL ends it with 0.
    EXPECT_EQ(platform::Dialogs()[1].result, 0);
}

TEST(AboutDialogProc, IgnoresOtherMessages) {
    EXPECT_EQ(AboutDialogProc(nullptr, WM_CLOSE, 0, 0), FALSE);
    EXPECT_EQ(AboutDialogProc(nullptr, 0x0200, 0, 0), FALSE);
    EXPECT_EQ(AboutDialogProc(nullptr, WM_COMMAND, 77, 0), TRUE);
}

TEST(ConfigureDialogProc, MessagesBeforeInitialisationGetFalse) {
    // A window that has no object in its user data yet.
    EXPECT_EQ(ConfigureDialogProc(reinterpret_cast<HWND>(0x1234), WM_COMMAND, IDOK, 0), FALSE);
    EXPECT_EQ(ConfigureDialogProc(nullptr, WM_COMMAND, IDC_USE_OBJECT_NAMES, 0), FALSE);
}

TEST_F(BitmapIOOrvo, ShowControlOnlyForTheWriteControlFlag) {
    for (DWORD flag : {0x0u, 0x40000001u, 0x40000002u, 0x60000000u, 0xC0000000u, 0x20000000u,
                       0x80000000u, 0x4000000u}) {
        EXPECT_EQ(object.ShowControl(mainWindow, flag), FALSE) << std::hex << flag;
    }
    EXPECT_TRUE(platform::Dialogs().empty());
}

TEST_F(BitmapIOOrvo, ConfigurationDialogReadsTheFileAndWritesItOnOk) {
    // The stored setting is "by node"; the object still says "by material".
    std::ofstream(CfgFile(), std::ios::binary).put(0);
    platform::ScriptDialogs(
        {{platform::ClickControl(IDC_USE_MATERIAL_NAMES), platform::ClickControl(IDOK)}});
    EXPECT_EQ(object.ShowControl(mainWindow, BMMIO_CONTROLWRITE), TRUE);

    const platform::DialogRecord& dialog = platform::Dialogs().at(0);
    EXPECT_EQ(dialog.templateId, static_cast<UINT>(IDD_CONFIGURE));
    EXPECT_EQ(dialog.owner, mainWindow);
    EXPECT_EQ(dialog.initParam, reinterpret_cast<LPARAM>(&object));
    EXPECT_EQ(dialog.messages[0].returned, FALSE);
    const std::map<int, UINT> fromFile{{IDC_USE_MATERIAL_NAMES, BST_UNCHECKED},
                                       {IDC_USE_OBJECT_NAMES, BST_CHECKED}};
    EXPECT_EQ(dialog.checksAfterInit, fromFile);
    EXPECT_EQ(dialog.messages[1].returned, TRUE);
    EXPECT_TRUE(object.Capture().useMaterialNames);
    EXPECT_EQ(test::ReadFileBytes(CfgFile()), test::Bytes{1});
}

TEST_F(BitmapIOOrvo, ObjectNamesThenCancelKeepsTheFileButChangesTheObject) {
    std::ofstream(CfgFile(), std::ios::binary).put(1);
    platform::ScriptDialogs(
        {{platform::ClickControl(IDC_USE_OBJECT_NAMES), platform::ClickControl(IDCANCEL)}});
    EXPECT_EQ(object.ShowControl(mainWindow, BMMIO_CONTROLWRITE), FALSE);
    EXPECT_EQ(test::ReadFileBytes(CfgFile()), test::Bytes{1});
    EXPECT_FALSE(object.Capture().useMaterialNames);
    EXPECT_EQ(platform::Dialogs().at(0).result, 0);

    // Without a stored file, Cancel leaves none behind.
    std::filesystem::remove(CfgFile());
    platform::ScriptDialogs(
        {{platform::ClickControl(IDC_USE_OBJECT_NAMES), platform::ClickControl(IDCANCEL)}});
    EXPECT_EQ(object.ShowControl(mainWindow, BMMIO_CONTROLWRITE), FALSE);
    EXPECT_FALSE(std::filesystem::exists(CfgFile()));

    // Closing the dialog counts as Cancel.
    platform::ScriptDialogs(
        {{platform::ClickControl(IDC_USE_MATERIAL_NAMES), platform::CloseDialog()}});
    EXPECT_EQ(object.ShowControl(mainWindow, BMMIO_CONTROLWRITE), FALSE);
    EXPECT_FALSE(std::filesystem::exists(CfgFile()));
    EXPECT_TRUE(object.Capture().useMaterialNames);
}

TEST_F(BitmapIOOrvo, ConfigurationDialogWithoutItsTemplateChangesNothing) {
    platform::UnregisterModuleResources(TestModule());
    EXPECT_EQ(object.ShowControl(mainWindow, BMMIO_CONTROLWRITE), FALSE);
    EXPECT_EQ(platform::Dialogs().at(0).result, -1);
    EXPECT_FALSE(std::filesystem::exists(CfgFile()));
}
