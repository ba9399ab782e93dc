// The writer's file with its mirror of directory bytes: whatever is mirrored or patched, the
// file on disk and every read must hold exactly what was written last.
#include "tiff_writer_1_3/mirrored_file.h"

#include "platform/wide_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

using namespace Tessaly::Orvo;
using test::Bytes;
using test::ReadFileBytes;
namespace fs = std::filesystem;

namespace {

class MirroredFileTest : public testing::Test {
protected:
    void SetUp() override {
        file_.reset(new MirroredFile(platform::File::Open(path_, platform::FileAccess::Create)));
    }

    void WriteAt(std::uint64_t offset, const Bytes& bytes, bool mirror) {
        file_->SetMirroring(mirror);
        ASSERT_EQ(file_->Seek(static_cast<std::int64_t>(offset), SEEK_SET),
                  static_cast<std::int64_t>(offset));
        ASSERT_EQ(file_->Write(bytes.data(), bytes.size()),
                  static_cast<std::int64_t>(bytes.size()));
        file_->SetMirroring(false);
        // What the file is expected to hold, kept beside it.
        if (expected_.size() < offset + bytes.size()) {
            expected_.resize(offset + bytes.size());
        }
        std::copy(bytes.begin(), bytes.end(), expected_.begin() + static_cast<long>(offset));
    }

    Bytes ReadAt(std::uint64_t offset, std::size_t size) {
        Bytes bytes(size);
        EXPECT_EQ(file_->Seek(static_cast<std::int64_t>(offset), SEEK_SET),
                  static_cast<std::int64_t>(offset));
        EXPECT_EQ(file_->Read(bytes.data(), size), static_cast<std::int64_t>(size));
        return bytes;
    }

    Bytes Expected(std::uint64_t offset, std::size_t size) const {
        return Bytes(expected_.begin() + static_cast<long>(offset),
                     expected_.begin() + static_cast<long>(offset + size));
    }

    static Bytes Pattern(std::size_t size, unsigned char seed) {
        Bytes bytes(size);
        std::iota(bytes.begin(), bytes.end(), seed);
        return bytes;
    }

    test::TemporaryFolder folder_;
    const std::string path_ = folder_.Path("mirrored");
    std::unique_ptr<MirroredFile> file_;
    Bytes expected_;
};

} // namespace

TEST_F(MirroredFileTest, RewritesOfAMirroredRangeLeaveExactlyTheNewBytes) {
    WriteAt(0, Pattern(100, 0), false);
    WriteAt(100, Pattern(300, 7), true); // mirrored, like a directory's array
    WriteAt(400, Pattern(50, 9), false);
    EXPECT_EQ(file_->MirroredBytes(), 300u);
    // Changes at the first and last byte, at chunk edges, in two places at once, and none.
    const std::vector<std::vector<std::size_t>> changes = {{0},        {299},    {63}, {64},
                                                           {127, 128}, {5, 250}, {},   {0, 299}};
    Bytes current = Pattern(300, 7);
    for (const std::vector<std::size_t>& at : changes) {
        for (const std::size_t i : at) {
            current[i] = static_cast<unsigned char>(current[i] ^ 0x5A);
        }
        WriteAt(100, current, true);
        EXPECT_EQ(ReadFileBytes(path_), expected_);
        EXPECT_EQ(ReadAt(100, 300), current);
        EXPECT_EQ(ReadAt(150, 20), Expected(150, 20));
    }
    EXPECT_EQ(file_->MirroredBytes(), 300u);
}

TEST_F(MirroredFileTest, AWriteIntoPartOfAMirroredRangeIsNeverHiddenByTheMirror) {
    WriteAt(0, Pattern(64, 1), true);
    // A four-byte patch inside it, as when a directory's next link is set.
    WriteAt(60, Bytes{0xAA, 0xBB, 0xCC, 0xDD}, false);
    EXPECT_EQ(ReadAt(0, 64), Expected(0, 64));
    // Overlapping the end of one mirrored range and the start of another.
    WriteAt(100, Pattern(40, 3), true);
    WriteAt(140, Pattern(40, 4), true);
    WriteAt(130, Pattern(20, 200), false);
    EXPECT_EQ(ReadAt(100, 80), Expected(100, 80));
    EXPECT_EQ(ReadAt(100, 40), Expected(100, 40));
    EXPECT_EQ(ReadAt(140, 40), Expected(140, 40));
    // A read that runs past a mirrored range comes from the file as a whole.
    WriteAt(200, Pattern(16, 5), true);
    WriteAt(216, Pattern(16, 6), false);
    EXPECT_EQ(ReadAt(208, 16), Expected(208, 16));
    EXPECT_EQ(ReadFileBytes(path_), expected_);
}

TEST_F(MirroredFileTest, UnmirroredWritesKeepNothingAndPositionsFollowLibtiffsUse) {
    WriteAt(0, Pattern(1000, 0), false);
    EXPECT_EQ(file_->MirroredBytes(), 0u);
    // Sequential writes without a seek continue where the last one ended.
    file_->SetMirroring(true);
    const Bytes a = Pattern(10, 50), b = Pattern(6, 90);
    ASSERT_EQ(file_->Seek(20, SEEK_SET), 20);
    ASSERT_EQ(file_->Write(a.data(), a.size()), 10);
    ASSERT_EQ(file_->Write(b.data(), b.size()), 6);
    file_->SetMirroring(false);
    std::copy(a.begin(), a.end(), expected_.begin() + 20);
    std::copy(b.begin(), b.end(), expected_.begin() + 30);
    EXPECT_EQ(file_->Seek(-6, SEEK_CUR), 30);
    EXPECT_EQ(ReadAt(18, 20), Expected(18, 20));
    EXPECT_EQ(ReadFileBytes(path_), expected_);
    EXPECT_EQ(file_->Size(), 1000);
}

TEST_F(MirroredFileTest, TheEndOfTheFileIsAlwaysTheSystemsOwn) {
    WriteAt(0, Pattern(10, 0), true);
    EXPECT_EQ(file_->Seek(0, SEEK_END), 10);
    // Grown by someone else: the next append lands at the new end.
    ASSERT_EQ(truncate(path_.c_str(), 4096), 0);
    EXPECT_EQ(file_->Seek(0, SEEK_END), 4096);
    const Bytes tail = Pattern(4, 9);
    ASSERT_EQ(file_->Write(tail.data(), tail.size()), 4);
    EXPECT_EQ(fs::file_size(path_), 4100u);
    EXPECT_EQ(ReadAt(0, 10), Pattern(10, 0));
}

TEST_F(MirroredFileTest, AFailedWriteIsReportedAndLeavesNoStaleMirror) {
    WriteAt(0, Pattern(64, 0), true);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 32;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    // A rewrite whose changed bytes lie beyond the limit fails as the system's write did.
    Bytes changed = Pattern(64, 0);
    changed[40] = 0xEE;
    ASSERT_EQ(file_->Seek(0, SEEK_SET), 0);
    errno = 0;
    EXPECT_EQ(file_->Write(changed.data(), changed.size()), -1);
    EXPECT_EQ(errno, EFBIG);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    // The range is read from the file again, which still holds the old byte.
    EXPECT_EQ(file_->MirroredBytes(), 0u);
    EXPECT_EQ(ReadAt(0, 64), Pattern(64, 0));
}

TEST_F(MirroredFileTest, CloseReportsWhetherTheSystemClosedTheFile) {
    WriteAt(0, Pattern(8, 0), false);
    EXPECT_TRUE(file_->Close());
    const Bytes more = Pattern(4, 1);
    EXPECT_EQ(file_->Write(more.data(), more.size()), -1);
    EXPECT_EQ(ReadFileBytes(path_), expected_);
}
