// Write: which frames become files, under which names, and what the user and the host's error
// reporter see when a frame cannot be written.
#include "attached_module.h"
#include "bitmap_io_orvo.h"
#include "object_capture.h"
#include "test_frame.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

int OpenDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

class WritePath : public AttachedModule {
protected:
    void SetUp() override {
        AttachedModule::SetUp();
        ModuleNaming() = ProcessNaming();
        platform::ClearMessageBoxes();
        platform::EchoMessageBoxes(false);
        folder = cfgFolder / "renders";
        fs::create_directories(folder);
    }
    void TearDown() override {
        platform::ScriptMessageBoxAnswers({});
        platform::EchoMessageBoxes(true);
        AttachedModule::TearDown();
    }
    std::wstring Path(const char* name) const { return (folder / name).wstring(); }
    void Open(TestFrame& frame) {
        ASSERT_EQ(object.OpenOutput(&frame.info, frame.bitmap), BMMRES_SUCCESS);
    }

    fs::path folder;
    BitmapIO_Orvo object;
};

} // namespace

TEST_F(WritePath, SingleImageKeepsItsNameAndFramesAreNumbered) {
    TestFrame frame(Path("view.orv"), 3, 2);
    frame.Hit(0, 0, -4.0f, 0xFFFF);
    Open(frame);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_SUCCESS);
    EXPECT_EQ(object.Write(7), BMMRES_SUCCESS);
    EXPECT_TRUE(fs::exists(folder / "view.orv"));
    EXPECT_TRUE(fs::exists(folder / "view0007.orv"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    EXPECT_TRUE(MaxHost::ErrorReports().empty());
    EXPECT_EQ(object.Capture().depthChannel, nullptr);
    EXPECT_EQ(MaxHost::LiveHeapBlocks(), 0);
}

TEST_F(WritePath, FramesThatCannotBeNamedOrReadAreReportedToTheHost) {
    TestFrame frame(Path("view.orv"), 2, 2);
    MaxHost::SetErrorResult(BMMRES_RETRY);
    EXPECT_EQ(object.Write(3), BMMRES_RETRY); // not open
    Open(frame);
    EXPECT_EQ(object.Write(-1), BMMRES_RETRY); // no numbered name
    MaxHost::SetChannelType(frame.storage, BMM_CHAN_Z, BMM_CHAN_TYPE_16);
    EXPECT_EQ(object.Write(3), BMMRES_RETRY);
    MaxHost::SetChannelType(frame.storage, BMM_CHAN_Z, BMM_CHAN_TYPE_32);
    MaxHost::SetChannelType(frame.storage, BMM_CHAN_NODE_RENDER_ID, BMM_CHAN_TYPE_32);
    EXPECT_EQ(object.Write(3), BMMRES_RETRY);
    object.Close(BMM_CLOSE_COMPLETE);

    BitmapInfo bare(Path("bare.orv").c_str());
    Bitmap* noStorage = TheManager->Create(&bare);
    ASSERT_EQ(object.OpenOutput(&bare, noStorage), BMMRES_SUCCESS);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_RETRY);
    noStorage->DeleteThis();

    std::vector<int> codes;
    for (const MaxHost::ErrorReport& report : MaxHost::ErrorReports()) {
        EXPECT_TRUE(report.byCode);
        codes.push_back(report.code);
    }
    EXPECT_EQ(codes, (std::vector<int>{12, 11, 12, 12, 12}));
    EXPECT_TRUE(platform::MessageBoxes().empty());
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(WritePath, WithoutAZBufferTheUserIsToldAndNothingIsWritten) {
    TestFrame frame(Path("view.orv"), 2, 2, BMM_CHAN_NODE_RENDER_ID);
    Open(frame);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_ERRORTAKENCARE);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    const platform::MessageBoxRecord& box = platform::MessageBoxes()[0];
    EXPECT_EQ(box.owner, mainWindow);
    EXPECT_EQ(box.text, L"Orvo output requires a Z-buffer.\nSelect Orvo file output in the "
                        L"Render Scene dialog.");
    EXPECT_FALSE(box.captionGiven);
    EXPECT_EQ(box.type, 16u);

    MaxHost::SetSilentMode(true);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_ERRORTAKENCARE);
    EXPECT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_TRUE(MaxHost::ErrorReports().empty());
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(WritePath, WithoutNodeIdentifiersTheUserChoosesAndHitsBecomeUnknown) {
    Mtl* paint = MaxHost::AddMaterial(L"Paint", Color(1.0f, 0.0f, 0.0f));
    MaxHost::AddNode(9, L"Car", 0, paint);
    MaxHost::AddNode(10, L"Road", 0, nullptr);
    TestFrame frame(Path("street.orv"), 2, 2);
    frame.Hit(0, 0, -3.0f, 9);
    Open(frame);
    ASSERT_EQ(object.Write(1), BMMRES_SUCCESS);

    // The same output goes on without node identifiers.
    frame.SetChannels(BMM_CHAN_Z);
    frame.Hit(1, 1, -6.0f, 0);
    platform::ScriptMessageBoxAnswers({IDCANCEL, IDOK, IDOK});
    EXPECT_EQ(object.Write(2), BMMRES_ERRORTAKENCARE);
    EXPECT_FALSE(fs::exists(folder / "street0002.orv"));
    EXPECT_EQ(object.Capture().objectEntries.size(), 1u);
    EXPECT_EQ(object.Write(2), BMMRES_SUCCESS);
    EXPECT_EQ(object.Write(3), BMMRES_SUCCESS);
    ASSERT_EQ(platform::MessageBoxes().size(), 3u);
    const platform::MessageBoxRecord& box = platform::MessageBoxes()[0];
    EXPECT_EQ(box.owner, mainWindow);
    EXPECT_EQ(box.caption, L"Warning");
    EXPECT_EQ(box.type, 49u);
    EXPECT_EQ(box.text, L"Node identifiers not available.\nSelect Orvo file output in the Render "
                        L"Scene dialog.\n\nPress OK to generate an Orvo file that will not "
                        L"contain Material information.");

    // One "Unknown" entry, with the next free id, for all confirmed frames of the output.
    OrvoContents third(folder / "street0003.orv");
    ASSERT_TRUE(third.ok);
    ASSERT_EQ(third.objects.size(), 2u);
    EXPECT_EQ(third.Object(1).name, L"Paint");
    EXPECT_EQ(third.Object(2).name, L"Unknown");
    EXPECT_EQ(std::make_tuple(third.Object(2).red, third.Object(2).green, third.Object(2).blue),
              std::make_tuple(255, 255, 255));
    EXPECT_EQ(std::vector<std::uint16_t>(third.ids, third.ids + 4),
              (std::vector<std::uint16_t>{2, 0, 0, 2}));

    // Node identifiers again: a new object continues the count.
    frame.SetChannels(BMM_CHAN_Z | BMM_CHAN_NODE_RENDER_ID);
    frame.Hit(0, 0, -3.0f, 9);
    frame.Hit(1, 1, -3.0f, 10);
    ASSERT_EQ(object.Write(4), BMMRES_SUCCESS);
    OrvoContents fourth(folder / "street0004.orv");
    EXPECT_EQ(std::vector<std::uint16_t>(fourth.ids, fourth.ids + 4),
              (std::vector<std::uint16_t>{1, 0, 0, 3}));
    EXPECT_EQ(fourth.Object(3).name, L"Road");

    frame.SetChannels(BMM_CHAN_Z);
    MaxHost::SetSilentMode(true);
    EXPECT_EQ(object.Write(5), BMMRES_ERRORTAKENCARE);
    EXPECT_EQ(platform::MessageBoxes().size(), 3u);
    EXPECT_FALSE(fs::exists(folder / "street0005.orv"));
}

TEST_F(WritePath, AFailedWriteGoesToTheHostsReporterAndLeavesNoWriter) {
    std::ofstream(folder / "plain").put('x');
    TestFrame frame(Path("plain/view.orv"), 2, 2);
    frame.Hit(1, 1, -2.0f, 0xFFFF);
    Open(frame);
    MaxHost::SetErrorResult(BMMRES_IOERROR);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_IOERROR);

    // A file that takes no bytes: the writer fails after it was made.
    object.bi.SetName(L"/dev/full");
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_IOERROR);

    // The host's heap fails while the writer has its file open: the writer goes with the call.
    object.bi.SetName(Path("view.orv").c_str());
    const int descriptors = OpenDescriptors();
    MaxHost::FailNextAllocations(1);
    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_IOERROR);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(MaxHost::LiveHeapBlocks(), 0);

    ASSERT_EQ(MaxHost::ErrorReports().size(), 3u);
    for (const MaxHost::ErrorReport& report : MaxHost::ErrorReports()) {
        EXPECT_FALSE(report.byCode);
        EXPECT_EQ(report.text, L"Error writing Orvo file");
    }
    EXPECT_TRUE(platform::MessageBoxes().empty());

    EXPECT_EQ(object.Write(BMM_SINGLEFRAME), BMMRES_SUCCESS);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}
