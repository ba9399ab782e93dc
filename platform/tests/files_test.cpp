#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

TEST_F(Files, FileBesideIsAFreshPathInAPrivateFolderBesideTheTarget) {
    fs::create_directory(Path("out"));
    std::string first;
    std::string second;
    ASSERT_EQ(platform::CreateFileBeside(Path("out/pano.orv"), first), 0);
    ASSERT_EQ(platform::CreateFileBeside(Path("out/pano.orv"), second), 0);
    EXPECT_NE(first, second);
    const fs::path folder = fs::path(first).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(Path("out")));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(Path("out/pano.orv")));

    // What the caller writes there follows the umask like any other new file.
    const mode_t mask = umask(027);
    Write(first, "panorama");
    umask(mask);
    struct stat info;
    ASSERT_EQ(stat(first.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    platform::RemoveFileBeside(first);
    platform::RemoveFileBeside(second);
    EXPECT_TRUE(fs::is_empty(Path("out")));
}

TEST_F(Files, FileBesideABareNameIsInTheCurrentFolder) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder_);
    std::string path;
    const int error = platform::CreateFileBeside("pano.orv", path);
    fs::current_path(previous);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(fs::path(path).parent_path().parent_path(), fs::path());
    EXPECT_TRUE(fs::is_directory(Path(fs::path(path).parent_path().string())));
}

TEST_F(Files, ReplacingKeepsTheTargetsPermissions) {
    Write(Path("pano.orv"), "previous panorama");
    ASSERT_EQ(chmod(Path("pano.orv").c_str(), 0604), 0);
    std::string path;
    ASSERT_EQ(platform::CreateFileBeside(Path("pano.orv"), path), 0);
    EXPECT_EQ(Read(Path("pano.orv")), "previous panorama");
    Write(path, "new panorama");
    ASSERT_EQ(platform::ReplaceFileWith(path, Path("pano.orv")), 0);
    platform::RemoveFileBeside(path);
    struct stat info;
    ASSERT_EQ(stat(Path("pano.orv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(Read(Path("pano.orv")), "new panorama");
    EXPECT_EQ(Names(), std::set<std::string>{"pano.orv"});
}

TEST_F(Files, FileBesideFailsWithTheErrorWritingTheTargetWouldGive) {
    std::string path = "unchanged";
    EXPECT_EQ(platform::CreateFileBeside(Path("no/such/folder/pano.orv"), path), ENOENT);
    EXPECT_EQ(platform::CreateFileBeside("", path), ENOENT);
    fs::create_directory(Path("pano.orv"));
    EXPECT_EQ(platform::CreateFileBeside(Path("pano.orv"), path), EISDIR);
    Write(Path("file"), "x");
    EXPECT_EQ(platform::CreateFileBeside(Path("file/pano.orv"), path), ENOTDIR);
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(Names(), (std::set<std::string>{"pano.orv", "file"}));
}

TEST_F(Files, ReplaceRenamesOverAnExistingTarget) {
    Write(Path("new"), "new bytes");
    Write(Path("pano.orv"), "old bytes");
    ASSERT_EQ(platform::ReplaceFileWith(Path("new"), Path("pano.orv")), 0);
    EXPECT_EQ(Read(Path("pano.orv")), "new bytes");
    EXPECT_EQ(Names(), std::set<std::string>{"pano.orv"});

    EXPECT_EQ(platform::ReplaceFileWith(Path("gone"), Path("pano.orv")), ENOENT);
    EXPECT_EQ(Read(Path("pano.orv")), "new bytes");
    fs::create_directory(Path("folder"));
    Write(Path("folder/inside"), "x");
    EXPECT_NE(platform::ReplaceFileWith(Path("pano.orv"), Path("folder")), 0);
    EXPECT_EQ(Read(Path("pano.orv")), "new bytes");
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
