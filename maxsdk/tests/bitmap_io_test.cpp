#include "bmmlib.h"
#include "max.h"
#include "maxsdk_host/host_state.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// A bitmap-IO object whose configuration is a few bytes a test chooses.
class TestIO : public BitmapIO {
public:
    std::vector<unsigned char> setting{7, 8, 9};
    std::vector<unsigned char> loaded;
    bool saveSucceeds = true;
    int loads = 0;

    int ExtCount() override { return 1; }
    const MCHAR* Ext(int) override { return L"tst"; }
    const MCHAR* LongDesc() override { return L"Test File"; }
    const MCHAR* ShortDesc() override { return L"TST"; }
    const MCHAR* AuthorName() override { return L""; }
    const MCHAR* CopyrightMessage() override { return L""; }
    UINT Version() override { return 1; }
    int Capability() override { return BMMIO_WRITER; }
    void ShowAbout(HWND) override {}
    DWORD EvaluateConfigure() override { return static_cast<DWORD>(setting.size()); }
    BOOL LoadConfigure(void* block, DWORD size) override {
        ++loads;
        const auto* bytes = static_cast<unsigned char*>(block);
        loaded.assign(bytes, bytes + size);
        return TRUE;
    }
    BOOL SaveConfigure(void* block) override {
        if (!saveSucceeds) {
            return FALSE;
        }
        std::copy(setting.begin(), setting.end(), static_cast<unsigned char*>(block));
        return TRUE;
    }
    BMMRES GetImageInfo(BitmapInfo*) override { return BMMRES_ERRORTAKENCARE; }
    BitmapStorage* Load(BitmapInfo*, Bitmap*, BMMRES*) override { return nullptr; }
};

class BitmapIOBase : public testing::Test {
protected:
    void SetUp() override {
        MaxHost::Reset();
        MaxHost::SetPlugCfgFolder(std::filesystem::path(folder.path()).wstring());
    }
    void TearDown() override { MaxHost::Reset(); }
    test::TemporaryFolder folder;
};

} // namespace

TEST_F(BitmapIOBase, ConfigurationFileLivesInThePlugCfgFolderNamedAfterTheShortDescription) {
    TestIO io;
    MCHAR filename[MAX_PATH];
    io.GetCfgFilename(filename);
    EXPECT_EQ(std::wstring(filename), std::filesystem::path(folder.Path("TST.cfg")).wstring());

    MaxHost::SetPlugCfgFolder(L"");
    io.GetCfgFilename(filename);
    EXPECT_STREQ(filename, L"");
    MaxHost::SetPlugCfgFolder(std::wstring(MAX_PATH, L'x'));
    io.GetCfgFilename(filename);
    EXPECT_STREQ(filename, L"");
}

TEST_F(BitmapIOBase, WriteCfgStoresTheSavedBlockAndReadCfgHandsItBack) {
    TestIO io;
    EXPECT_FALSE(io.ReadCfg());
    EXPECT_EQ(io.loads, 0);

    io.WriteCfg();
    EXPECT_EQ(test::ReadFileBytes(folder.Path("TST.cfg")), (test::Bytes{7, 8, 9}));
    EXPECT_TRUE(io.ReadCfg());
    EXPECT_EQ(io.loaded, (std::vector<unsigned char>{7, 8, 9}));

    // A failed save leaves the stored file alone.
    io.setting = {1};
    io.saveSucceeds = false;
    io.WriteCfg();
    EXPECT_EQ(test::ReadFileBytes(folder.Path("TST.cfg")), (test::Bytes{7, 8, 9}));

    // An empty file is handed over as an empty block.
    std::ofstream(folder.Path("TST.cfg"), std::ios::trunc).close();
    EXPECT_TRUE(io.ReadCfg());
    EXPECT_TRUE(io.loaded.empty());
    EXPECT_EQ(io.loads, 2);
}

TEST_F(BitmapIOBase, ErrorReporterRecordsAndAnswersAsScripted) {
    TestIO io;
    io.bi.SetName(L"C:/renders/face.orv");
    EXPECT_EQ(io.ProcessImageIOError(&io.bi, BMMRES_INTERNALERROR), BMMRES_ERRORTAKENCARE);
    MaxHost::SetErrorResult(BMMRES_RETRY);
    EXPECT_EQ(io.ProcessImageIOError(&io.bi, L"Error writing Orvo file"), BMMRES_RETRY);
    EXPECT_EQ(io.ProcessImageIOError(nullptr, static_cast<const MCHAR*>(nullptr)), BMMRES_RETRY);

    const auto& reports = MaxHost::ErrorReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(reports[0].byCode);
    EXPECT_EQ(reports[0].code, 12);
    EXPECT_EQ(reports[0].name, L"C:/renders/face.orv");
    EXPECT_FALSE(reports[1].byCode);
    EXPECT_EQ(reports[1].text, L"Error writing Orvo file");
    EXPECT_EQ(reports[2].name, L"");
    MaxHost::ClearErrorReports();
    EXPECT_TRUE(MaxHost::ErrorReports().empty());
}

TEST(BitmapInfo, CopyImageInfoTakesNameSizeAndFrames) {
    BitmapInfo from(L"C:/out/face.orv");
    from.SetWidth(640);
    from.SetHeight(480);
    from.SetFirstFrame(3);
    from.SetLastFrame(9);
    BitmapInfo to;
    to.CopyImageInfo(&from);
    EXPECT_STREQ(to.Name(), L"C:/out/face.orv");
    EXPECT_EQ(to.Width(), 640);
    EXPECT_EQ(to.Height(), 480);
    EXPECT_EQ(to.LastFrame(), 9);
    to.CopyImageInfo(nullptr);
    EXPECT_STREQ(to.Name(), L"C:/out/face.orv");

    // Names longer than a path are cut, never overrun.
    to.SetName(std::wstring(400, L'n').c_str());
    EXPECT_EQ(std::wstring(to.Name()).size(), static_cast<std::size_t>(MAX_PATH - 1));
}

TEST(HostHeap, CountsObjectsAndBlocksAndFailsOnDemand) {
    struct Thing : MaxHeapOperators {
        int value = 0;
    };
    const long objects = MaxHost::LiveHeapObjects();
    Thing* thing = new Thing;
    EXPECT_EQ(MaxHost::LiveHeapObjects(), objects + 1);
    delete thing;
    EXPECT_EQ(MaxHost::LiveHeapObjects(), objects);

    const long blocks = MaxHost::LiveHeapBlocks();
    void* row = MAX_calloc(4, 8);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(row)[31], 0);
    EXPECT_EQ(MaxHost::LiveHeapBlocks(), blocks + 1);
    zfree(&row);
    EXPECT_EQ(row, nullptr);
    EXPECT_EQ(MaxHost::LiveHeapBlocks(), blocks);

    MaxHost::FailNextAllocations(3);
    EXPECT_EQ(new (std::nothrow) Thing, nullptr);
    EXPECT_THROW(new Thing, std::bad_alloc);
    EXPECT_EQ(MAX_calloc(1, 1), nullptr);
    thing = new (std::nothrow) Thing;
    EXPECT_NE(thing, nullptr);
    delete thing;
    EXPECT_EQ(MaxHost::LiveHeapObjects(), objects);
}
