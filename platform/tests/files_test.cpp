#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

class Files : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvo-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::string folder_;
};

TEST_F(Files, SameFileComparesIdentityNotSpelling) {
    Write(Path("a.orv"), "a");
    Write(Path("b.orv"), "a");
    fs::create_directory(Path("sub"));
    fs::create_hard_link(Path("a.orv"), Path("hard.orv"));
    fs::create_symlink(Path("a.orv"), Path("soft.orv"));

    EXPECT_TRUE(platform::SameFile(Path("a.orv"), Path("a.orv")));
    EXPECT_TRUE(platform::SameFile(Path("a.orv"), folder_ + "/./sub/../a.orv"));
    EXPECT_TRUE(platform::SameFile(Path("a.orv"), Path("hard.orv")));
    EXPECT_TRUE(platform::SameFile(Path("soft.orv"), Path("a.orv")));
    // Equal contents are not one file.
    EXPECT_FALSE(platform::SameFile(Path("a.orv"), Path("b.orv")));
    EXPECT_FALSE(platform::SameFile(Path("missing.orv"), Path("missing.orv")));
    EXPECT_FALSE(platform::SameFile(Path("a.orv"), Path("missing.orv")));
}

TEST_F(Files, DevicesAreTheFilesThatAreNeitherRegularNorFolders) {
    Write(Path("a.orv"), "a");
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    EXPECT_TRUE(platform::IsDevice("/dev/null"));
    EXPECT_TRUE(platform::IsDevice(Path("pipe")));
    EXPECT_FALSE(platform::IsDevice(Path("a.orv")));
    EXPECT_FALSE(platform::IsDevice(folder_));
    EXPECT_FALSE(platform::IsDevice(Path("missing.orv")));
}

// Writes bytes through a TargetFile for target and commits; the error of the first failing step.
int WriteThrough(const std::string& target, const std::string& bytes, bool allowUnnamed = true) {
    platform::TargetFile output;
    int error = output.Open(target, "test", allowUnnamed);
    if (error != 0) {
        return error;
    }
    platform::StdioFile stream = output.TakeStream();
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream.get()) != bytes.size()) {
        return EIO;
    }
    stream.reset();
    return output.Commit();
}

TEST_F(Files, ATargetFileReplacesTheTargetOnlyOnCommitAndLeavesNothingElse) {
    for (const bool unnamed : {true, false}) {
        Write(Path("pano.orv"), "previous panorama");
        ASSERT_EQ(chmod(Path("pano.orv").c_str(), 0604), 0);
        // A temporary left by a killed run for this target is removed.
        Write(Path(".pano.orv.test-tmp"), "stale");
        {
            platform::TargetFile output;
            ASSERT_EQ(output.Open(Path("pano.orv"), "test", unnamed), 0);
            EXPECT_FALSE(output.InPlace());
            std::fputs("abandoned", output.TakeStream().get());
            EXPECT_EQ(Read(Path("pano.orv")), "previous panorama");
        }
        EXPECT_EQ(Names(), std::set<std::string>{"pano.orv"}) << unnamed;
        ASSERT_EQ(WriteThrough(Path("pano.orv"), "new panorama", unnamed), 0);
        EXPECT_EQ(Read(Path("pano.orv")), "new panorama");
        struct stat info;
        ASSERT_EQ(stat(Path("pano.orv").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0604u);
        // A new target follows the umask like any other new file.
        const mode_t mask = umask(027);
        EXPECT_EQ(WriteThrough(Path("new.orv"), "x", unnamed), 0);
        umask(mask);
        ASSERT_EQ(stat(Path("new.orv").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0640u);
        EXPECT_EQ(Names(), (std::set<std::string>{"pano.orv", "new.orv"}));
        fs::remove(Path("new.orv"));
    }
}

TEST_F(Files, ATargetFileFailsWithTheErrorWritingTheTargetWouldGive) {
    EXPECT_EQ(WriteThrough(Path("no/such/folder/pano.orv"), "x"), ENOENT);
    EXPECT_EQ(WriteThrough("", "x"), ENOENT);
    fs::create_directory(Path("pano.orv"));
    EXPECT_EQ(WriteThrough(Path("pano.orv"), "x"), EISDIR);
    EXPECT_EQ(WriteThrough(Path("pano.orv/"), "x"), EISDIR);
    Write(Path("file"), "x");
    EXPECT_EQ(WriteThrough(Path("file/pano.orv"), "x"), ENOTDIR);
    // A pipe that nobody reads is refused at once instead of waited on.
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    EXPECT_EQ(WriteThrough(Path("pipe"), "x"), ENXIO);
    EXPECT_EQ(Names(), (std::set<std::string>{"pano.orv", "file", "pipe"}));

    platform::TargetFile device;
    ASSERT_EQ(device.Open("/dev/null", "test"), 0);
    EXPECT_TRUE(device.InPlace());
}

TEST(TemporaryName, IsNamedAfterTheTargetAndFitsTheLimit) {
    EXPECT_EQ(platform::TemporaryName("pano.orv", "stitch"), ".pano.orv.stitch-tmp");
    const std::string first = platform::TemporaryName(std::string(250, 'a') + "1", "stitch");
    const std::string second = platform::TemporaryName(std::string(250, 'a') + "2", "stitch");
    EXPECT_EQ(first.size(), 255u);
    EXPECT_NE(first, second);
    EXPECT_EQ(first, platform::TemporaryName(std::string(250, 'a') + "1", "stitch"));
    EXPECT_EQ(first.substr(first.size() - 11), ".stitch-tmp");
}

} // namespace

TEST_F(Files, CreateFoldersMakesEveryMissingFolderAndRefusesAFileInTheWay) {
    EXPECT_EQ(platform::CreateFolders(Path("a/b//c/")), 0);
    EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
    EXPECT_EQ(platform::CreateFolders(Path("a/b")), 0);
    Write(Path("a/file"), "x");
    EXPECT_EQ(platform::CreateFolders(Path("a/file")), ENOTDIR);
    EXPECT_EQ(platform::CreateFolders(Path("a/file/d")), ENOTDIR);
    EXPECT_EQ(platform::CreateFolders(""), ENOENT);
}

TEST(Paths, StemAndJoinReadAsOnEverySystem) {
    EXPECT_EQ(platform::FileStem("out/pano.v2.orv"), "pano.v2");
    EXPECT_EQ(platform::FileStem("pano"), "pano");
    EXPECT_EQ(platform::FileStem("dir.d/.orv"), ".orv");
    EXPECT_EQ(platform::FileStem("a/.."), "..");
    EXPECT_EQ(platform::PathInFolder("out", "pano"), "out/pano");
    EXPECT_EQ(platform::PathInFolder("out/", "pano"), "out/pano");
    EXPECT_EQ(platform::PathInFolder("", "pano"), "pano");
}
