// Files through the system's own handles and their read-only mappings.
#include "platform/mapped_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace {

class Folder {
public:
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvo_mapped_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace

TEST(File, CreatesWritesSeeksAndReadsBack) {
    Folder folder;
    const std::string path = folder.Path("data.bin");
    platform::File file = platform::File::Open(path, platform::FileAccess::Create);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Write("0123456789", 10), 10);
    EXPECT_EQ(file.Size(), 10);
    EXPECT_EQ(file.Seek(3, SEEK_SET), 3);
    char got[8] = {};
    EXPECT_EQ(file.Read(got, 4), 4);
    EXPECT_EQ(std::string(got, 4), "3456");
    EXPECT_EQ(file.Seek(-2, SEEK_END), 8);
    // A read that meets the end of the file gives what there is.
    EXPECT_EQ(file.Read(got, 8), 2);
    EXPECT_EQ(std::string(got, 2), "89");
    EXPECT_EQ(file.Read(got, 8), 0);
    EXPECT_EQ(file.Seek(-1, SEEK_SET), -1);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());

    // Create truncates; Read opens what exists without changing it.
    platform::File reader = platform::File::Open(path, platform::FileAccess::Read);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Size(), 10);
    EXPECT_EQ(reader.Write("x", 1), -1);
    reader.Close();
    platform::File again = platform::File::Open(path, platform::FileAccess::Create);
    EXPECT_EQ(again.Size(), 0);
}

TEST(File, FailsOnMissingOrEmptyPathsAndMovesItsHandle) {
    Folder folder;
    errno = 0;
    EXPECT_FALSE(platform::File::Open(folder.Path("missing"), platform::FileAccess::Read).IsOpen());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(platform::File::Open("", platform::FileAccess::Create).IsOpen());
    EXPECT_FALSE(
        platform::File::Open(folder.Path("missing"), platform::FileAccess::ReadWrite).IsOpen());

    platform::File first = platform::File::Open(folder.Path("a"), platform::FileAccess::Create);
    ASSERT_TRUE(first.IsOpen());
    platform::File second = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    EXPECT_EQ(second.Write("ab", 2), 2);
    second = platform::File();
    EXPECT_FALSE(second.IsOpen());
}

TEST(FileMapping, MapsTheWholeFileReadOnlyAndNothingForAnEmptyOne) {
    Folder folder;
    const std::string path = folder.Path("mapped.bin");
    {
        platform::File file = platform::File::Open(path, platform::FileAccess::Create);
        ASSERT_EQ(file.Write("mapped bytes", 12), 12);
    }
    platform::File file = platform::File::Open(path, platform::FileAccess::Read);
    platform::FileMapping mapping;
    ASSERT_TRUE(mapping.Map(file));
    ASSERT_TRUE(mapping.IsMapped());
    EXPECT_EQ(mapping.Size(), 12u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Data()), 12), "mapped bytes");
    // Reading through the handle is independent of the mapping.
    char got[6] = {};
    EXPECT_EQ(file.Read(got, 6), 6);
    EXPECT_EQ(std::string(got, 6), "mapped");

    platform::FileMapping moved = std::move(mapping);
    EXPECT_FALSE(mapping.IsMapped());
    EXPECT_TRUE(moved.IsMapped());
    moved.Unmap();
    EXPECT_FALSE(moved.IsMapped());
    EXPECT_EQ(moved.Size(), 0u);

    const std::string empty = folder.Path("empty.bin");
    platform::File emptyFile = platform::File::Open(empty, platform::FileAccess::Create);
    platform::FileMapping none;
    EXPECT_FALSE(none.Map(emptyFile));
    EXPECT_FALSE(none.IsMapped());
    EXPECT_FALSE(none.Map(platform::File()));
}
