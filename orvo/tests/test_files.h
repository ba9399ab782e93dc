// Files for tests of every subsystem: a temporary folder of a test's own, and whole files read
// and written as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test {

using Bytes = std::vector<unsigned char>;

// A folder of its own under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // The names of the folder's entries, sorted.
    std::vector<std::string> Names() const;
    // Removes the folder now, for processes that end without running destructors.
    void Remove();

private:
    std::string path_;
};

// The whole file, or its first maxBytes; empty when it cannot be read.
Bytes ReadFileBytes(const std::string& path, std::size_t maxBytes = SIZE_MAX);
// Creates or replaces the file; throws std::runtime_error when it cannot be written.
void WriteFileBytes(const std::string& path, const Bytes& bytes);

} // namespace test
