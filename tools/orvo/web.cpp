// orvo web: a folder with the web viewer and one Orvo file, whose page opens that file by
// itself, ready for any static web host or to be opened straight from the disk.
#include "commands.h"
#include "orvo_document.h"

#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

const char WebSynopsis[] = "orvo web [--rolls UP,DOWN] FILE DIR";

const char WebHelp[] =
    "Usage: orvo web [--rolls UP,DOWN] FILE DIR\n"
    "\n"
    "Writes DIR with the web viewer (index.html, its scripts and style) and a copy of the\n"
    "Orvo file FILE; DIR/index.html opens that file by itself. Put DIR on any static web\n"
    "host, or serve it locally (python3 -m http.server -d DIR) and open its address, or open\n"
    "DIR/index.html straight from the disk: browsers do not let such a page read the file\n"
    "beside it, so DIR also holds the file's bytes as scripts (FILE.0.js, ...) for that case.\n"
    "The viewer looks around in a panorama and shows a single view flat; pointing at a pixel\n"
    "tells its object, distance, depth and world point as orvo query does, and two clicks\n"
    "measure the distance between two points.\n"
    "\n"
    "The viewer finds how a panorama's up and down faces were turned from the pixels along\n"
    "their edges, by the rule orvo query uses; --rolls states them for the page instead.\n"
    "\n"
    "The viewer's files come from <program folder>/../share/orvo/viewer, <program\n"
    "folder>/viewer, or the source tree this program was built from.\n"
    "\n" ORVO_ROLLS_OPTION_HELP "  -h, --help  print this text\n"
    "\n"
    "Exit status: 0 success, 1 the file cannot be read or DIR cannot be written, 2 wrong\n"
    "usage.\n";

namespace {

// The marker in the viewer's index.html that names the file it opens by itself.
const char FileMarker[] = "<meta name=\"orvo-file\" content=\"\">";
// The marker that hands the page rolls stated on the command line; empty, the page finds them.
const char RollsMarker[] = "<meta name=\"orvo-rolls\" content=\"\">";
// Bytes of the file a script of the copy holds (base64 makes a third more of them); small
// enough for any browser's largest string.
const std::size_t EmbeddedPart = 48u << 20;

bool IsViewer(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / "index.html", error) &&
           fs::is_regular_file(folder / "js" / "orvo_reader.js", error);
}

fs::path FindViewer() {
    std::vector<fs::path> candidates;
    const std::string self = platform::ExecutablePath();
    if (!self.empty()) {
        const fs::path folder = fs::path(self).parent_path();
        candidates.push_back(folder.parent_path() / "share" / "orvo" / "viewer");
        candidates.push_back(folder / "viewer");
    }
#ifdef ORVO_VIEWER_SOURCE_DIR
    candidates.push_back(ORVO_VIEWER_SOURCE_DIR);
#endif
    for (const fs::path& candidate : candidates) {
        if (IsViewer(candidate)) {
            return candidate;
        }
    }
    std::string looked;
    for (const fs::path& candidate : candidates) {
        looked += (looked.empty() ? "" : ", ") + candidate.string();
    }
    throw FileError("the viewer", "its files are not installed (looked in " + looked + ")");
}

[[noreturn]] void Fail(const fs::path& path, const std::error_code& error) {
    throw FileError(path.string(), error.message());
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw FileError(path.string(), std::strerror(errno != 0 ? errno : EIO));
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        throw FileError(path.string(), std::strerror(errno != 0 ? errno : EIO));
    }
}

// The file's name as a relative address inside an HTML attribute.
std::string AddressOf(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || std::strchr("-._~", byte) != nullptr) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

// The viewer's own files: everything but its tests, installed packages and hidden files.
// statedRolls: "UP,DOWN" for the page to take, or empty.
void CopyViewer(const fs::path& from, const fs::path& to, const std::string& fileAddress,
                const std::string& statedRolls) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(from, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = fs::relative(it->path(), from, error);
        const std::string name = it->path().filename().string();
        if (name == "tests" || name == "node_modules" || name.front() == '.') {
            if (it->is_directory()) {
                it.disable_recursion_pending();
            }
            continue;
        }
        const fs::path target = to / relative;
        if (it->is_directory()) {
            fs::create_directories(target, error);
            if (error) {
                Fail(target, error);
            }
        } else if (relative == "index.html") {
            std::string page = ReadText(it->path());
            const std::size_t at = page.find(FileMarker);
            if (at == std::string::npos) {
                throw FileError(it->path().string(), "has no orvo-file marker to name the file in");
            }
            page.replace(at, std::strlen(FileMarker),
                         "<meta name=\"orvo-file\" content=\"" + fileAddress + "\">");
            const std::size_t rollsAt = page.find(RollsMarker);
            if (rollsAt == std::string::npos) {
                throw FileError(it->path().string(), "has no orvo-rolls marker to state rolls in");
            }
            page.replace(rollsAt, std::strlen(RollsMarker),
                         "<meta name=\"orvo-rolls\" content=\"" + statedRolls + "\">");
            WriteText(target, page);
        } else {
            fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, error);
            if (error) {
                Fail(target, error);
            }
        }
    }
    if (error) {
        Fail(from, error);
    }
}

std::string Base64(const unsigned char* data, std::size_t size) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3) {
        const std::uint32_t a = data[i];
        const std::uint32_t b = i + 1 < size ? data[i + 1] : 0;
        const std::uint32_t c = i + 2 < size ? data[i + 2] : 0;
        const std::uint32_t triple = a << 16 | b << 8 | c;
        out += digits[triple >> 18 & 63];
        out += digits[triple >> 12 & 63];
        out += i + 1 < size ? digits[triple >> 6 & 63] : '=';
        out += i + 2 < size ? digits[triple & 63] : '=';
    }
    return out;
}

// The file's bytes as scripts FILE.0.js, FILE.1.js, ..., each handing its part to the page.
void WriteEmbedded(const fs::path& file, const fs::path& folder, const std::string& name) {
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (!in || error) {
        throw FileError(file.string(), error ? error.message() : std::strerror(EIO));
    }
    const std::size_t parts =
        size == 0 ? 1 : static_cast<std::size_t>((size - 1) / EmbeddedPart + 1);
    std::vector<unsigned char> buffer(EmbeddedPart);
    for (std::size_t part = 0; part < parts; ++part) {
        in.read(reinterpret_cast<char*>(buffer.data()),
                static_cast<std::streamsize>(buffer.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        WriteText(folder / (name + "." + std::to_string(part) + ".js"),
                  "OrvoEmbedded.part(" + std::to_string(part) + ", " + std::to_string(parts) +
                      ", " + std::to_string(size) + ", \"" + Base64(buffer.data(), got) + "\");\n");
    }
}

} // namespace

int RunWeb(const Arguments& arguments) {
    std::optional<FaceRolls> rolls;
    Arguments words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--rolls") {
            rolls = RollsOption(arguments, ++i);
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option \"" + argument + "\"");
        } else {
            words.push_back(argument);
        }
    }
    if (words.size() != 2) {
        throw UsageError(words.empty()       ? "no file"
                         : words.size() == 1 ? "no folder"
                                             : "too many arguments");
    }
    const fs::path file = words[0];
    const fs::path folder = words[1];
    // Refuses what is not an Orvo file, with the words of the other commands.
    OrvoDocument document = LoadOrvoDocument(file.string());
    const RollsSettled settled = SettleFaceRolls(document, rolls);
    const std::string statedRolls = rolls ? std::to_string(rolls->upRolled ? 180 : 0) + "," +
                                                std::to_string(rolls->downRolled ? 180 : 0)
                                          : std::string();
    const fs::path viewer = FindViewer();

    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        Fail(folder, error);
    }
    if (!fs::is_directory(folder, error)) {
        throw FileError(folder.string(), std::strerror(ENOTDIR));
    }
    const std::string name = file.filename().string();
    CopyViewer(viewer, folder, AddressOf(name), statedRolls);
    const fs::path copy = folder / name;
    if (!fs::equivalent(file, copy, error)) {
        fs::copy_file(file, copy, fs::copy_options::overwrite_existing, error);
        if (error) {
            Fail(copy, error);
        }
    }
    WriteEmbedded(file, folder, name);

    const fs::path page = folder / "index.html";
    std::printf("Wrote %s: the viewer with %s.\n", folder.string().c_str(), name.c_str());
    std::printf("Open %s in a browser, or serve the folder with any static web server\n"
                "(python3 -m http.server -d %s) and open its address.\n",
                page.string().c_str(), folder.string().c_str());
    if (document.panorama && document.width == 6 * document.height) {
        const auto how = [&settled](const FaceRollFinding* finding) {
            return settled.stated        ? "as stated"
                   : finding->determined ? "found from its edges"
                                         : "not determined, taken as the render host's";
        };
        const PanoramaRollFinding* found = settled.finding ? &*settled.finding : nullptr;
        std::printf("The panorama's up face is rolled %d degrees (%s), its down face %d (%s).\n",
                    document.rolls.upRolled ? 180 : 0, how(found ? &found->up : nullptr),
                    document.rolls.downRolled ? 180 : 0, how(found ? &found->down : nullptr));
    }
    return 0;
}
