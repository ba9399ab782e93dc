// platform_probe: the Windows side of the platform layer against the real system: file
// identity, the output file that replaces its target, files and mappings through
// handles, wide paths, the ANSI code page, and the C library's error numbers that every
// failure is reported with, which must match what the stand-ins give elsewhere. It prints
// one line per failed check and exits with the number of failures.
#include "platform/files.h"
#include "platform/mapped_file.h"
#include "platform/text.h"
#include "platform/wide_file.h"
#include "probe_checks.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

using probe::Check;

// A fresh folder of its own in the temporary folder, removed with everything in it.
class WorkFolder {
public:
    WorkFolder() {
        path_ =
            fs::temp_directory_path() / ("orvo-platform-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path_);
        fs::create_directory(path_);
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

private:
    fs::path path_;
};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckIdentity(const WorkFolder& work) {
    Write(work.Path("a.orv"), "a");
    Write(work.Path("b.orv"), "a");
    Check(platform::SameFile(work.Path("a.orv"), work.Path("a.orv")), "a file is not itself");
    Check(platform::SameFile(work.Path("a.orv"), work.Path(".\\A.ORV")),
          "another spelling of a file's path is another file");
    Check(CreateHardLinkA(work.Path("link.orv").c_str(), work.Path("a.orv").c_str(), nullptr) &&
              platform::SameFile(work.Path("a.orv"), work.Path("link.orv")),
          "a hard link is another file");
    Check(!platform::SameFile(work.Path("a.orv"), work.Path("b.orv")),
          "two files of the same bytes are one");
    Check(!platform::SameFile(work.Path("gone.orv"), work.Path("gone.orv")),
          "a missing file is the same as itself");
    Check(platform::IsDevice("NUL"), "NUL is no device");
    Check(!platform::IsDevice(work.Path("a.orv")), "a file is a device");
}

// Writes bytes through a TargetFile for target and commits; the error of the first failing step.
int WriteThrough(const std::string& target, const std::string& bytes) {
    platform::TargetFile output;
    int error = output.Open(target, "probe");
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

void CheckTargetFile(const WorkFolder& work) {
    Write(work.Path("pano.orv"), "previous panorama");
    // A temporary that a killed run for this target left is removed by the next one.
    Write(work.Path(".pano.orv.probe-tmp"), "stale");
    {
        platform::TargetFile abandoned;
        Check(abandoned.Open(work.Path("pano.orv"), "probe") == 0, "no output for a target");
        Check(!abandoned.InPlace(), "a file is written in place");
        std::fputs("abandoned", abandoned.TakeStream().get());
    }
    Check(Read(work.Path("pano.orv")) == "previous panorama", "an abandoned output touched it");
    Check(WriteThrough(work.Path("pano.orv"), "new panorama") == 0, "replacing failed");
    Check(Read(work.Path("pano.orv")) == "new panorama", "the target was not replaced");
    Check(work.Names() == std::set<std::string>{"pano.orv"}, "files are left beside the target");
    platform::TargetFile device;
    Check(device.Open("NUL", "probe") == 0 && device.InPlace(), "NUL is not written in place");

    // Each failure reads as the error that writing the target itself would give.
    Check(WriteThrough(work.Path("no\\such\\folder\\pano.orv"), "x") == ENOENT,
          "a missing folder is not ENOENT");
    Check(WriteThrough("", "x") == ENOENT, "an empty target is not ENOENT");
    // A read-only target: whatever the system answers a writer (an administrator under Wine
    // may write it anyway), the output answers the same.
    SetFileAttributesA(work.Path("pano.orv").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE writer = CreateFileA(work.Path("pano.orv").c_str(), GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool writable = writer != INVALID_HANDLE_VALUE;
    if (writable) {
        CloseHandle(writer);
    }
    platform::TargetFile readOnly;
    const int error = readOnly.Open(work.Path("pano.orv"), "probe");
    Check(error == (writable ? 0 : EACCES), "a read-only target gives " + std::to_string(error));
    SetFileAttributesA(work.Path("pano.orv").c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::create_directory(work.Path("folder.orv"));
    Check(WriteThrough(work.Path("folder.orv"), "x") == EACCES,
          "a folder as the target is not EACCES");
    Check(Read(work.Path("pano.orv")) == "new panorama", "a failed output touched the target");
    fs::remove(work.Path("folder.orv"));
}

void CheckFilesAndMappings(const WorkFolder& work) {
    platform::File file = platform::File::Open(work.Path("data"), platform::FileAccess::Create);
    Check(file.IsOpen(), "a file cannot be created");
    Check(file.Write("0123456789", 10) == 10, "writing ten bytes");
    Check(file.Seek(-4, SEEK_END) == 6, "seeking from the end");
    char tail[8] = {};
    Check(file.Read(tail, sizeof tail) == 4 && std::string(tail) == "6789",
          "reading up to the end");
    Check(file.Size() == 10, "the size of a file of ten bytes");

    platform::FileMapping mapping;
    Check(mapping.Map(file) && mapping.Size() == 10 &&
              std::string(reinterpret_cast<const char*>(mapping.Data()), 10) == "0123456789",
          "the mapping does not show the file");
    mapping.Unmap();
    Check(file.Close(), "closing failed");

    platform::File empty = platform::File::Open(work.Path("empty"), platform::FileAccess::Create);
    Check(empty.IsOpen() && !mapping.Map(empty), "an empty file is mapped");
    empty.Close();
    Check(!platform::File::Open(work.Path("gone"), platform::FileAccess::Read).IsOpen(),
          "a missing file opens");

    // Wide paths spell what the ANSI code page cannot.
    const std::wstring folder = platform::AnsiToWide(work.Path(""));
    const std::wstring name = L"\u0416\u20ac\U0001F600.orv";
    platform::File wide = platform::CreateFileWide((folder + name).c_str());
    Check(wide.IsOpen(), "a file of a wide name cannot be created");
    wide.Close();
    Check(GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES,
          "the wide name is not the file's name");
    errno = 0;
    Check(!platform::CreateFileWide((folder + L"no\\such\\x.orv").c_str()).IsOpen() &&
              errno == ENOENT,
          "a wide path into a missing folder is not ENOENT");
}

void CheckAnsiText() {
    const std::string name = "fa\xe7"
                             "ade \x80";
    const std::wstring wide = platform::AnsiToWide(name);
    Check(platform::WideToAnsi(wide) == name, "ANSI text does not round-trip");
    if (GetACP() == 1252) {
        Check(wide == L"fa\u00e7ade \u20ac", "Windows-1252 text is read in another code page");
        Check(platform::WideToAnsi(L"\u0416") == "?",
              "a character the code page lacks is not the default character");
    }
}

} // namespace

int main() {
    {
        WorkFolder work;
        CheckIdentity(work);
    }
    {
        WorkFolder work;
        CheckTargetFile(work);
    }
    {
        WorkFolder work;
        CheckFilesAndMappings(work);
    }
    CheckAnsiText();
    std::printf("platform: %d failed checks\n", probe::Failures());
    return probe::Failures();
}
