// OrvoStreamWriter: whole files against bytes this test assembles from the format's rules, the
// same files through tiffinfo and tifffile, refusals of misuse and failing targets.
#include "orvo/stream_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- The test's own little-endian byte builder -------------------------------------------

struct Bytes {
    std::vector<unsigned char> data;

    std::uint32_t Size() const { return static_cast<std::uint32_t>(data.size()); }
    void U8(unsigned value) { data.push_back(static_cast<unsigned char>(value)); }
    void U16(unsigned value) {
        U8(value & 0xFF);
        U8((value >> 8) & 0xFF);
    }
    void U32(std::uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void F64(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, 8);
        U32(static_cast<std::uint32_t>(bits));
        U32(static_cast<std::uint32_t>(bits >> 32));
    }
    void Raw(const std::string& text) { data.insert(data.end(), text.begin(), text.end()); }
    void PadToEven() {
        if (data.size() % 2 != 0) {
            U8(0);
        }
    }
    void PatchU32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            data[at + i] = static_cast<unsigned char>(value >> (8 * i));
        }
    }

    // One 12-byte directory entry whose value is an offset or one LONG.
    void Entry(unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value) {
        U16(tag);
        U16(type);
        U32(count);
        U32(value);
    }
    // One SHORT, or two, left-aligned in the value field.
    void ShortEntry(unsigned tag, std::uint32_t count, unsigned first, unsigned second = 0) {
        U16(tag);
        U16(3);
        U32(count);
        U16(first);
        U16(second);
    }
};

const unsigned Ascii = 2, Long = 4, Rational = 5;

// A text as the writer is given it and the ANSI (here UTF-8) bytes it must store.
struct Text {
    std::wstring wide;
    std::string ansi;
};
Text Plain(const std::string& ascii) {
    return {std::wstring(ascii.begin(), ascii.end()), ascii};
}

struct Object {
    std::uint16_t id;
    std::uint8_t red, green, blue;
    Text name;
};

// Everything one written file depends on.
struct Case {
    std::uint16_t width = 5;
    std::uint16_t height = 3;
    std::uint32_t mask = LayerAll;
    Text software = Plain("");
    Text documentName = Plain("");
    Text artist = Plain("");
    Text copyright = Plain("");
    bool panorama = false;
    PerspectiveView perspective;
    PanoramaView panoramaView;
    std::vector<Object> objects;
    // Rows of all three layers written before SetLayers(mask) starts over.
    int abandonedRows = 0;
};

// The pixel pattern; orvo/tests/check_stream_writer_file.py computes the same one.
bool Background(int x, int y) {
    return (x + 2 * y) % 7 == 0;
}
std::uint32_t DepthAt(int x, int y) {
    return Background(x, y) ? NoDepthCode
                            : static_cast<std::uint32_t>(x * 2654435761u + y * 40503u + 7u);
}
std::uint16_t IdAt(int x, int y) {
    return Background(x, y) ? 0 : static_cast<std::uint16_t>(1 + (x + 3 * y) % 4);
}
void ColourAt(int x, int y, unsigned char rgb[3]) {
    rgb[0] = static_cast<unsigned char>(x * 37 + y * 11);
    rgb[1] = static_cast<unsigned char>(x * 5 + y * 67 + 1);
    rgb[2] = static_cast<unsigned char>((x ^ y) * 3);
}

// View records whose every field differs, so that a swapped or shifted field shows.
PerspectiveView DistinctPerspective() {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = ProjectionPerspective;
    double* fields = &view.eyePoint.x;
    for (int i = 0; i < 24; ++i) {
        fields[i] = 1.5 + i * 0.25 - (i % 3) * 7.0;
    }
    view.unitCode = UnitCentimetre;
    return view;
}
PanoramaView DistinctPanorama() {
    PanoramaView view;
    InitPanoramaView(view);
    double* fields = &view.eyePoint.x;
    for (int i = 0; i < 16; ++i) {
        fields[i] = -3.0 + i * 1.125;
    }
    view.unitCode = UnitMetre;
    return view;
}

// ---- The expected file, placed by the format's rules ---------------------------------------

struct Expected {
    Bytes file;
    std::size_t dateTimeAt = 0;
};

void RowBlocks(Bytes& f, const Case& c, std::uint32_t mask, int rows) {
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t start = f.Size();
        for (int x = 0; (mask & LayerDepth) && x < c.width; ++x) {
            f.U32(DepthAt(x, y));
        }
        for (int x = 0; (mask & LayerObjectId) && x < c.width; ++x) {
            f.U16(IdAt(x, y));
        }
        for (int x = 0; (mask & LayerColour) && x < c.width; ++x) {
            unsigned char rgb[3];
            ColourAt(x, y, rgb);
            f.U8(rgb[0]);
            f.U8(rgb[1]);
            f.U8(rgb[2]);
        }
        while ((f.Size() - start) % 4 != 0) {
            f.U8(0);
        }
    }
}

// Writes the StripOffsets and StripByteCounts arrays that do not fit in their entries and
// returns the two entries' value fields.
std::pair<std::uint32_t, std::uint32_t> StripArrays(Bytes& f, const Case& c, std::uint32_t row0,
                                                    std::uint32_t stride, unsigned rowBytes) {
    std::uint32_t offsets = row0; // one row: the offset itself
    if (c.height > 1) {
        offsets = f.Size();
        for (std::uint32_t y = 0; y < c.height; ++y) {
            f.U32(row0 + y * stride);
        }
    }
    std::uint32_t counts = rowBytes | (c.height == 2 ? rowBytes << 16 : 0); // one or two SHORTs
    if (c.height > 2) {
        counts = f.Size();
        for (std::uint32_t y = 0; y < c.height; ++y) {
            f.U16(rowBytes);
        }
    }
    return {offsets, counts};
}

void StripEntries(Bytes& f, const Case& c, std::pair<std::uint32_t, std::uint32_t> strips,
                  unsigned samples, unsigned rowBytes) {
    f.Entry(273, Long, c.height, strips.first);
    f.ShortEntry(277, 1, samples);
    f.ShortEntry(278, 1, 1);
    if (c.height <= 2) {
        f.ShortEntry(279, c.height, rowBytes, c.height == 2 ? rowBytes : 0);
    } else {
        f.Entry(279, 3, c.height, strips.second);
    }
}

// The nine entries of a depth or object-id directory and its link; returns its offset.
std::uint32_t SampleDirectory(Bytes& f, const Case& c, unsigned bits,
                              std::pair<std::uint32_t, std::uint32_t> strips, std::uint32_t header,
                              std::uint32_t next) {
    const std::uint32_t ifd = f.Size();
    f.U16(9);
    f.ShortEntry(256, 1, c.width);
    f.ShortEntry(257, 1, c.height);
    f.ShortEntry(258, 1, bits);
    f.ShortEntry(259, 1, 1);
    StripEntries(f, c, strips, 1, bits / 8 * c.width);
    f.Entry(34953, Long, 1, header);
    f.U32(next);
    return ifd;
}

// kind, major 1, minor 0; returns its offset.
std::uint32_t LayerHeaderOf(Bytes& f, std::uint32_t kind) {
    const std::uint32_t at = f.Size();
    f.U32(kind);
    f.U16(1);
    f.U16(0);
    return at;
}

Expected Assemble(const Case& c) {
    Expected e;
    Bytes& f = e.file;
    f.Raw("II");
    f.U16(42);
    f.U32(0);

    RowBlocks(f, c, LayerAll, c.abandonedRows);
    const bool depth = c.mask & LayerDepth, ids = c.mask & LayerObjectId,
               colour = c.mask & LayerColour;
    const std::uint32_t depthRow0 = f.Size();
    const std::uint32_t idRow0 = depthRow0 + (depth ? 4u * c.width : 0);
    const std::uint32_t colourRow0 = idRow0 + (ids ? 2u * c.width : 0);
    RowBlocks(f, c, c.mask, c.height);
    const std::uint32_t stride = (f.Size() - depthRow0) / c.height;

    std::uint32_t head = 0;
    for (const Object& o : c.objects) {
        const std::uint32_t at = f.Size();
        f.U32(head);
        f.U16(o.id);
        f.U8(o.red);
        f.U8(o.green);
        f.U8(o.blue);
        f.Raw(o.name.ansi);
        f.U8(0);
        f.PadToEven();
        head = at;
    }

    std::uint32_t link = 0;
    if (ids) {
        const auto strips = StripArrays(f, c, idRow0, stride, 2u * c.width);
        const std::uint32_t header = LayerHeaderOf(f, 2);
        f.U32(static_cast<std::uint32_t>(c.objects.size()));
        f.U32(head);
        link = SampleDirectory(f, c, 16, strips, header, link);
    }
    if (depth) {
        const auto strips = StripArrays(f, c, depthRow0, stride, 4u * c.width);
        const std::uint32_t header = LayerHeaderOf(f, c.panorama ? 8 : 1);
        f.U32(0);
        if (c.panorama) {
            const PanoramaView& v = c.panoramaView;
            f.U32(v.projection);
            for (const Vector3* p : {&v.eyePoint, &v.upAxis, &v.viewDirection, &v.centrePoint}) {
                f.F64(p->x);
                f.F64(p->y);
                f.F64(p->z);
            }
            for (double d : {v.scalar, v.nearDepth, v.farDepth, v.unitScale}) {
                f.F64(d);
            }
            f.U32(v.unitCode);
        } else {
            const PerspectiveView& v = c.perspective;
            f.U32(v.projection);
            for (const Vector3* p : {&v.eyePoint, &v.rightAxis, &v.upAxis, &v.viewDirection,
                                     &v.spareAxis, &v.cornerTopLeft, &v.cornerBottomRight}) {
                f.F64(p->x);
                f.F64(p->y);
                f.F64(p->z);
            }
            for (double d : {v.nearDepth, v.farDepth, v.unitScale}) {
                f.F64(d);
            }
            f.U32(v.unitCode);
        }
        link = SampleDirectory(f, c, 32, strips, header, link);
    }
    if (colour) {
        const std::uint32_t bitsPerSample = f.Size();
        f.U16(8);
        f.U16(8);
        f.U16(8);
        const auto strips = StripArrays(f, c, colourRow0, stride, 3u * c.width);
        const std::uint32_t xResolution = f.Size();
        f.U32(100);
        f.U32(1);
        const std::uint32_t yResolution = f.Size();
        f.U32(100);
        f.U32(1);
        // A text of up to four bytes with its NUL sits in the entry; longer ones here.
        struct Stored {
            unsigned tag;
            const Text* text;
            std::uint32_t value;
        };
        std::vector<Stored> texts = {{305, &c.software, 0}};
        if (!c.documentName.ansi.empty()) {
            texts.push_back({269, &c.documentName, 0});
        }
        if (!c.artist.ansi.empty()) {
            texts.push_back({315, &c.artist, 0});
        }
        if (!c.copyright.ansi.empty()) {
            texts.push_back({33432, &c.copyright, 0});
        }
        for (Stored& t : texts) {
            const std::string bytes = t.text->ansi + '\0';
            if (bytes.size() <= 4) {
                for (std::size_t i = 0; i < 4; ++i) {
                    t.value |= (i < bytes.size() ? std::uint32_t(std::uint8_t(bytes[i])) : 0u)
                               << (8 * i);
                }
            } else {
                t.value = f.Size();
                f.Raw(bytes);
                f.PadToEven();
            }
        }
        e.dateTimeAt = f.Size();
        f.Raw(std::string("YYYY:MM:DD hh:mm:ss") + '\0');
        const std::uint32_t header = LayerHeaderOf(f, 0);

        const std::uint32_t ifd = f.Size();
        f.U16(static_cast<unsigned>(14 + texts.size()));
        auto text = [&](unsigned tag) {
            for (const Stored& t : texts) {
                if (t.tag == tag) {
                    f.Entry(tag, Ascii, static_cast<std::uint32_t>(t.text->ansi.size() + 1),
                            t.value);
                }
            }
        };
        f.ShortEntry(256, 1, c.width);
        f.ShortEntry(257, 1, c.height);
        f.Entry(258, 3, 3, bitsPerSample);
        f.ShortEntry(259, 1, 1);
        f.ShortEntry(262, 1, 2);
        text(269);
        StripEntries(f, c, strips, 3, 3u * c.width);
        f.Entry(282, Rational, 1, xResolution);
        f.Entry(283, Rational, 1, yResolution);
        f.ShortEntry(296, 1, 2);
        text(305);
        f.Entry(306, Ascii, 20, static_cast<std::uint32_t>(e.dateTimeAt));
        text(315);
        text(33432);
        f.Entry(34953, Long, 1, header);
        f.U32(link);
        link = ifd;
    }
    f.PatchU32(4, link);
    return e;
}

// ---- Writing through OrvoStreamWriter ------------------------------------------------------

void FillRow(OrvoStreamWriter& writer, int width, int y) {
    for (int x = 0; x < width; ++x) {
        writer.DepthRow()[x] = DepthAt(x, y);
        writer.IdRow()[x] = IdAt(x, y);
        ColourAt(x, y, writer.ColourRow() + 3 * x);
    }
}

std::unique_ptr<OrvoStreamWriter> Create(const std::wstring& path, const Case& c) {
    if (c.panorama) {
        OrvoPanoramaFile file = {
            path,          c.width,          c.height,      c.software.wide, c.documentName.wide,
            c.artist.wide, c.copyright.wide, c.panoramaView};
        return std::make_unique<OrvoStreamWriter>(file);
    }
    return std::make_unique<OrvoStreamWriter>(path, c.width, c.height, c.software.wide,
                                              c.documentName.wide, c.artist.wide, c.copyright.wide,
                                              c.perspective);
}
// Test folders have plain ASCII names, so the path converts in any locale.
std::unique_ptr<OrvoStreamWriter> Create(const fs::path& path, const Case& c) {
    return Create(path.wstring(), c);
}

int Pad(const Case& c, std::uint32_t mask) {
    const int sum = ((mask & LayerDepth) ? 4 : 0) + ((mask & LayerObjectId) ? 2 : 0) +
                    ((mask & LayerColour) ? 3 : 0);
    return (4 - sum * c.width % 4) % 4;
}

void WriteRows(OrvoStreamWriter& writer, const Case& c) {
    for (int y = 0; y < c.abandonedRows; ++y) {
        FillRow(writer, c.width, y);
        writer.WriteRow();
    }
    if (c.mask != LayerAll || c.abandonedRows > 0) {
        EXPECT_EQ(writer.SetLayers(c.mask), Pad(c, c.mask));
    }
    for (int y = 0; y < c.height; ++y) {
        FillRow(writer, c.width, y);
        EXPECT_EQ(writer.WriteRow(), Pad(c, c.mask));
    }
}

void AddObjects(OrvoStreamWriter& writer, const Case& c) {
    std::uint32_t count = 0;
    for (const Object& o : c.objects) {
        EXPECT_EQ(writer.AddObject(o.id, o.red, o.green, o.blue, o.name.wide), ++count);
    }
}

std::vector<unsigned char> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string Utc(std::time_t t) {
    std::tm utc;
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &utc);
    return text;
}

// The stamp must read "%Y:%m:%d %H:%M:%S" in UTC for a second between the two moments.
void ExpectUtcStamp(const std::string& stamp, std::time_t before, std::time_t after) {
    const std::string shape = "dddd:dd:dd dd:dd:dd";
    ASSERT_EQ(stamp.size(), shape.size());
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd') {
            EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << stamp;
        } else {
            EXPECT_EQ(stamp[i], shape[i]) << stamp;
        }
    }
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
        matched = matched || Utc(t) == stamp;
    }
    EXPECT_TRUE(matched) << stamp << " is not UTC between " << Utc(before) << " and " << Utc(after);
}

// Compares the written file with the assembled one; only the DateTime characters may differ.
void ExpectFile(const fs::path& path, Expected expected, std::time_t before, std::time_t after) {
    const std::vector<unsigned char> actual = ReadAll(path);
    std::vector<unsigned char>& want = expected.file.data;
    ASSERT_EQ(actual.size(), want.size());
    if (expected.dateTimeAt != 0) {
        const std::size_t at = expected.dateTimeAt;
        ExpectUtcStamp(std::string(actual.begin() + at, actual.begin() + at + 19), before, after);
        std::copy(actual.begin() + at, actual.begin() + at + 19, want.begin() + at);
    }
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), want.begin());
    EXPECT_TRUE(mismatch.first == actual.end())
        << "first difference at offset " << (mismatch.first - actual.begin()) << ": written "
        << int(*mismatch.first) << ", expected " << int(*mismatch.second);
}

std::uint32_t U32At(const std::vector<unsigned char>& f, std::size_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | std::uint32_t(f[at + 3]) << 24;
}
unsigned U16At(const std::vector<unsigned char>& f, std::size_t at) {
    return f[at] | f[at + 1] << 8;
}

// The directory entry of a tag: offset of its 12 bytes, 0 when absent.
std::size_t EntryAt(const std::vector<unsigned char>& f, std::uint32_t ifd, unsigned tag) {
    for (unsigned i = 0; i < U16At(f, ifd); ++i) {
        if (U16At(f, ifd + 2 + 12 * i) == tag) {
            return ifd + 2 + 12 * i;
        }
    }
    return 0;
}

// The directories along the chain from the header, first to last.
std::vector<std::uint32_t> Chain(const std::vector<unsigned char>& f) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t ifd = U32At(f, 4); ifd != 0 && chain.size() < 4;
         ifd = U32At(f, ifd + 2 + 12 * U16At(f, ifd))) {
        chain.push_back(ifd);
    }
    return chain;
}

// The layer header that a directory's private tag points to.
std::uint32_t LayerHeaderAt(const std::vector<unsigned char>& f, std::uint32_t ifd) {
    return U32At(f, EntryAt(f, ifd, 34953) + 8);
}

class StreamWriter : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("orvo_stream_writer_" + std::to_string(getpid()) + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // Away from UTC, so that a stamp in local time cannot pass for UTC.
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? std::make_unique<std::string>(tz) : nullptr;
        setenv("TZ", "ORV-5:30", 1);
        tzset();
    }
    void TearDown() override {
        fs::remove_all(dir_);
        if (savedTz_) {
            setenv("TZ", savedTz_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    // Writes the case the ordinary way and compares the whole file.
    void WriteAndCompare(const Case& c, const std::wstring& name = L"file.orv",
                         const fs::path& written = "file.orv") {
        const fs::path path = dir_ / written;
        const std::time_t before = std::time(nullptr);
        {
            auto writer = Create(dir_.wstring() + L"/" + name, c);
            WriteRows(*writer, c);
            AddObjects(*writer, c);
            writer->Close();
        }
        ExpectFile(path, Assemble(c), before, std::time(nullptr));
    }

    fs::path dir_;
    std::unique_ptr<std::string> savedTz_;
};

Case FullCase() {
    Case c;
    c.width = 5; // 9 bytes a pixel: 45-byte rows, 3 pad bytes
    c.height = 7;
    c.perspective = DistinctPerspective();
    c.software = Plain("stitch 1.2"); // 11 bytes with the NUL: padded
    c.documentName = Plain("Hall, west wing");
    c.artist = Plain("Al"); // fits in the entry
    c.copyright = {L"\u00a9 Tessaly", "\xc2\xa9 Tessaly"};
    c.objects = {{1, 200, 10, 30, Plain("Floor")},
                 {4, 0, 255, 7, {L"Chaise \u00e9t\u00e9", "Chaise \xc3\xa9t\xc3\xa9"}},
                 {3, 1, 2, 3, Plain("Lamp 12")}};
    return c;
}

} // namespace

TEST_F(StreamWriter, AllThreeLayersWithObjectsAndAllFourTexts) {
    WriteAndCompare(FullCase());
}

TEST_F(StreamWriter, TinyFileOffsetsWorkedOutByHand) {
    // 1 x 1, all layers, empty Software, no other text, no objects:
    // rows 8..20 (4 + 2 + 3 + 3 pad); id block: header 20..36, IFD 36..150;
    // depth block: header 150..362, IFD 362..476; colour block: BitsPerSample 476, XResolution
    // 482, YResolution 490, DateTime 498, header 518, IFD 526..712.
    Case c;
    c.width = 1;
    c.height = 1;
    InitPerspectiveView(c.perspective);
    WriteAndCompare(c);
    const auto f = ReadAll(dir_ / "file.orv");
    ASSERT_EQ(f.size(), 712u);
    EXPECT_EQ(U32At(f, 4), 526u);
    EXPECT_EQ(U16At(f, 526), 15u);
    EXPECT_EQ(U32At(f, 526 + 2 + 15 * 12), 362u);
    EXPECT_EQ(U32At(f, 362 + 2 + 9 * 12), 36u);
    EXPECT_EQ(U32At(f, 36 + 2 + 9 * 12), 0u);
    EXPECT_EQ(U32At(f, EntryAt(f, 526, 306) + 8), 498u);
    EXPECT_EQ(U32At(f, EntryAt(f, 526, 273) + 8), 14u); // colour row after depth and id
    EXPECT_EQ(U32At(f, EntryAt(f, 362, 273) + 8), 8u);
    EXPECT_EQ(U32At(f, EntryAt(f, 36, 273) + 8), 12u);
    // Empty Software: present, count 1, just the NUL in the entry.
    const std::size_t software = EntryAt(f, 526, 305);
    ASSERT_NE(software, 0u);
    EXPECT_EQ(U32At(f, software + 4), 1u);
    EXPECT_EQ(U32At(f, software + 8), 0u);
}

TEST_F(StreamWriter, ColourOnlyHasOneDirectoryAndNoObjectTable) {
    Case c;
    c.width = 3; // 9 bytes, 3 pad
    c.height = 4;
    c.mask = LayerColour;
    c.software = Plain("abcd"); // 5 bytes: out of the entry, padded
    WriteAndCompare(c);
    const auto f = ReadAll(dir_ / "file.orv");
    EXPECT_EQ(Chain(f).size(), 1u);
}

TEST_F(StreamWriter, OneRowKeepsStripOffsetsAndByteCountInTheEntries) {
    Case c;
    c.width = 4;
    c.height = 1;
    c.perspective = DistinctPerspective();
    c.objects = {{2, 9, 8, 7, Plain("Box")}};
    WriteAndCompare(c);
    const auto f = ReadAll(dir_ / "file.orv");
    const std::uint32_t colour = U32At(f, 4);
    const std::size_t offsets = EntryAt(f, colour, 273);
    EXPECT_EQ(U32At(f, offsets + 4), 1u);
    EXPECT_EQ(U32At(f, offsets + 8), 8u + 16 + 8); // after the depth and id rows
    const std::size_t counts = EntryAt(f, colour, 279);
    EXPECT_EQ(U16At(f, counts + 8), 12u);
}

TEST_F(StreamWriter, TwoRowsKeepTwoShortByteCountsInTheEntry) {
    Case c;
    c.width = 7;
    c.height = 2;
    c.perspective = DistinctPerspective();
    WriteAndCompare(c);
    const auto f = ReadAll(dir_ / "file.orv");
    const auto chain = Chain(f);
    ASSERT_EQ(chain.size(), 3u);
    const std::size_t counts = EntryAt(f, chain[1], 279);
    EXPECT_EQ(U16At(f, counts + 2), 3u);
    EXPECT_EQ(U32At(f, counts + 4), 2u);
    EXPECT_EQ(U16At(f, counts + 8), 28u);
    EXPECT_EQ(U16At(f, counts + 10), 28u);
}

TEST_F(StreamWriter, NoObjectsGiveCountAndHeadZero) {
    Case c = FullCase();
    c.objects.clear();
    WriteAndCompare(c);
    const auto f = ReadAll(dir_ / "file.orv");
    const auto chain = Chain(f);
    ASSERT_EQ(chain.size(), 3u);
    const std::uint32_t header = LayerHeaderAt(f, chain[2]);
    EXPECT_EQ(U32At(f, header), 2u);
    EXPECT_EQ(U32At(f, header + 8), 0u);
    EXPECT_EQ(U32At(f, header + 12), 0u);
}

TEST_F(StreamWriter, LongNamesComeBackUnchangedAndRecordsStayEven) {
    Case c;
    c.width = 2;
    c.height = 2;
    c.perspective = DistinctPerspective();
    // 198 ASCII bytes and one two-byte character: 200 bytes; then 201 bytes, which needs a pad.
    Text twoHundred = {std::wstring(198, L'n') + L"\u00f8", std::string(198, 'n') + "\xc3\xb8"};
    Text twoHundredOne = Plain(std::string(201, 'm'));
    c.objects = {{7, 1, 1, 1, twoHundred}, {8, 2, 2, 2, twoHundredOne}, {9, 3, 3, 3, Plain("x")}};
    WriteAndCompare(c);

    // Walk the table from its head as a reader does, newest first.
    const auto f = ReadAll(dir_ / "file.orv");
    const auto chain = Chain(f);
    ASSERT_EQ(chain.size(), 3u);
    const std::uint32_t header = LayerHeaderAt(f, chain[2]);
    ASSERT_EQ(U32At(f, header + 8), 3u);
    std::vector<std::string> names;
    for (std::uint32_t at = U32At(f, header + 12); at != 0; at = U32At(f, at)) {
        EXPECT_EQ(at % 2, 0u);
        names.emplace_back(reinterpret_cast<const char*>(&f[at + 9]));
    }
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "x");
    EXPECT_EQ(names[1], twoHundredOne.ansi);
    EXPECT_EQ(names[2], twoHundred.ansi);
    EXPECT_EQ(names[2].size(), 200u);
}

TEST_F(StreamWriter, EmptyNameIsJustTheNul) {
    Case c;
    c.width = 3;
    c.height = 3;
    c.perspective = DistinctPerspective();
    c.objects = {{5, 10, 20, 30, Plain("")}, {6, 40, 50, 60, Plain("After")}};
    WriteAndCompare(c);
    // The first record is 10 bytes (previous, id, three colour bytes, NUL), so the second
    // one links back exactly 10 bytes.
    const auto f = ReadAll(dir_ / "file.orv");
    const std::uint32_t first = 8 + 3 * 28;
    EXPECT_EQ(U32At(f, first + 10), first);
    EXPECT_EQ(f[first + 9], 0);
}

TEST_F(StreamWriter, PanoramaFormWritesKindEightWithThePanoramaView) {
    Case c = FullCase();
    c.panorama = true;
    c.panoramaView = DistinctPanorama();
    c.width = 12;
    c.height = 2;
    WriteAndCompare(c);
}

TEST_F(StreamWriter, SetLayersMidwayStartsTheLayersOverAtTheCurrentPosition) {
    Case c = FullCase();
    c.abandonedRows = 2;
    c.mask = LayerColour | LayerDepth;
    c.objects.clear();
    WriteAndCompare(c);
}

TEST_F(StreamWriter, WideFileNameIsStoredInTheAnsiCodePage) {
    Case c = FullCase();
    // The file appears under the UTF-8 bytes of the wide name.
    WriteAndCompare(c, L"caf\u00e9 \u65e5.orv", fs::u8path("caf\xc3\xa9 \xe6\x97\xa5.orv"));
}

TEST_F(StreamWriter, WithoutRowsTheFirstDirectoryOffsetStaysZero) {
    const fs::path path = dir_ / "empty.orv";
    { auto writer = Create(path, FullCase()); }
    EXPECT_EQ(ReadAll(path), (std::vector<unsigned char>{'I', 'I', 42, 0, 0, 0, 0, 0}));
}

TEST_F(StreamWriter, SecondCloseDoesNothingAndClosedWriterRefusesMore) {
    const Case c = FullCase();
    const fs::path path = dir_ / "file.orv";
    auto writer = Create(path, c);
    WriteRows(*writer, c);
    AddObjects(*writer, c);
    writer->Close();
    const auto first = ReadAll(path);
    writer->Close();
    EXPECT_EQ(ReadAll(path), first);
    for (auto call : {+[](OrvoStreamWriter& w) { w.WriteRow(); },
                      +[](OrvoStreamWriter& w) { w.SetLayers(LayerColour); },
                      +[](OrvoStreamWriter& w) { w.AddObject(1, 0, 0, 0, L"late"); }}) {
        try {
            call(*writer);
            ADD_FAILURE() << "a closed writer accepted a call";
        } catch (const OrvoFile::Error& error) {
            EXPECT_EQ(error.ErrorNumber(), EBADF);
        }
    }
    writer.reset();
    EXPECT_EQ(ReadAll(path), first);
}

namespace {

template <typename Call> int ErrorOf(Call call) {
    try {
        call();
    } catch (const OrvoFile::Error& error) {
        EXPECT_STREQ(error.what(), std::strerror(error.ErrorNumber()));
        return error.ErrorNumber();
    }
    return 0;
}

} // namespace

TEST_F(StreamWriter, SizesBeyondTheFormatAreRefusedBeforeTheFileIsTouched) {
    const fs::path path = dir_ / "kept.orv";
    std::ofstream(path) << "keep me";
    Case c = FullCase();
    c.width = 0;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), EINVAL);
    c.width = 3;
    c.height = 0;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), EINVAL);
    // 4 x 16384 bytes of depth a row do not fit a SHORT byte count.
    c.width = 16384;
    c.height = 1;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), EFBIG);
    c.panorama = true;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), EFBIG);
    c.panorama = false;
    // 16383 wide, 9 bytes a pixel: 29129 rows reach past the last u32 offset.
    c.width = 16383;
    c.height = 29129;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), EFBIG);
    EXPECT_EQ(ReadAll(path), (std::vector<unsigned char>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));

    c.height = 29128;
    EXPECT_EQ(ErrorOf([&] { Create(path, c); }), 0);
}

TEST_F(StreamWriter, SetLayersRefusesWhatCannotBeStoredAndKeepsItsState) {
    Case c = FullCase();
    const fs::path path = dir_ / "file.orv";
    const std::time_t before = std::time(nullptr);
    {
        auto writer = Create(path, c);
        EXPECT_EQ(ErrorOf([&] { writer->SetLayers(0); }), EINVAL);
        EXPECT_EQ(ErrorOf([&] { writer->SetLayers(8 | LayerColour); }), EINVAL);
        WriteRows(*writer, c);
        AddObjects(*writer, c);
        writer->Close();
    }
    ExpectFile(path, Assemble(c), before, std::time(nullptr));

    // Rows already written move row 0 on: all three layers no longer fit below 4 GiB.
    c.width = 16383;
    c.height = 29128;
    auto writer = Create(dir_ / "large.orv", c);
    writer->WriteRow();
    EXPECT_EQ(ErrorOf([&] { writer->SetLayers(LayerAll); }), EFBIG);
    EXPECT_EQ(writer->SetLayers(LayerColour), 3);
}

TEST_F(StreamWriter, CallsOutOfOrderAreRefusedWithoutHarmingTheFile) {
    const Case c = FullCase();
    const fs::path path = dir_ / "file.orv";
    const std::time_t before = std::time(nullptr);
    {
        auto writer = Create(path, c);
        FillRow(*writer, c.width, 0);
        writer->WriteRow();
        // A record among the rows would shift every later row.
        EXPECT_EQ(ErrorOf([&] { writer->AddObject(1, 0, 0, 0, L"early"); }), EINVAL);
        for (int y = 1; y < c.height; ++y) {
            FillRow(*writer, c.width, y);
            writer->WriteRow();
        }
        EXPECT_EQ(ErrorOf([&] { writer->WriteRow(); }), EINVAL);
        AddObjects(*writer, c);
        writer->Close();
    }
    ExpectFile(path, Assemble(c), before, std::time(nullptr));
}

TEST_F(StreamWriter, MissingRowsLeaveTheFileWithoutDirectories) {
    const Case c = FullCase();
    const fs::path path = dir_ / "file.orv";
    auto writer = Create(path, c);
    writer->WriteRow();
    EXPECT_EQ(ErrorOf([&] { writer->Close(); }), EINVAL);
    writer->Close();
    writer.reset();
    const auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 8u + 48);
    EXPECT_EQ(U32At(f, 4), 0u);
}

TEST_F(StreamWriter, TargetsThatCannotBeWrittenGiveTheSystemsText) {
    const Case c = FullCase();
    EXPECT_EQ(ErrorOf([&] { Create(dir_ / "missing" / "file.orv", c); }), ENOENT);
    EXPECT_EQ(ErrorOf([&] { Create(dir_, c); }), EISDIR);
    std::ofstream(dir_ / "plain") << "a file, not a folder";
    EXPECT_EQ(ErrorOf([&] { Create(dir_ / "plain" / "file.orv", c); }), ENOTDIR);
}

TEST_F(StreamWriter, FullDiskFailsTheWriteThatMeetsItAndStaysSafe) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // Rows of 100 x 9 bytes fill the 32256-byte stream buffer long before the last row.
    Case large = FullCase();
    large.width = 100;
    large.height = 100;
    auto writer = Create("/dev/full", large);
    int failed = 0;
    for (int y = 0; y < large.height && failed == 0; ++y) {
        failed = ErrorOf([&] { writer->WriteRow(); });
    }
    EXPECT_EQ(failed, ENOSPC);
    EXPECT_EQ(ErrorOf([&] { writer->Close(); }), 0);
    writer.reset();

    // A small file fits the buffer; the failure comes when Close pushes it out.
    const Case small = FullCase();
    writer = Create("/dev/full", small);
    WriteRows(*writer, small);
    AddObjects(*writer, small);
    EXPECT_EQ(ErrorOf([&] { writer->Close(); }), ENOSPC);
    EXPECT_EQ(ErrorOf([&] { writer->Close(); }), 0);

    // Destroyed without Close: the destructor meets the full disk and keeps quiet.
    writer = Create("/dev/full", small);
    WriteRows(*writer, small);
    writer.reset();
}

TEST_F(StreamWriter, TiffinfoAndTifffileReadTheFile) {
    Case c = FullCase();
    c.width = 301; // rows of 2709 bytes, 3 pad; 612 KB in all, far beyond the stream buffer
    c.height = 203;
    c.objects.push_back({2, 90, 91, 92, Plain("Shelf")});
    const fs::path path = dir_ / "readers.orv";
    {
        auto writer = Create(path, c);
        WriteRows(*writer, c);
        AddObjects(*writer, c);
    } // closed by the destructor

    const std::string tiffinfo = ORVO_TIFFINFO;
    ASSERT_EQ(tiffinfo.find("NOTFOUND"), std::string::npos) << "tiffinfo is not installed";
    const fs::path out = dir_ / "tiffinfo.txt";
    const std::string command = tiffinfo + " '" + path.string() + "' >'" + out.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("TIFF Directory at offset"), 3u) << text;
    EXPECT_EQ(count("Image Width: 301 Image Length: 203"), 3u) << text;
    EXPECT_EQ(count("Photometric Interpretation: RGB color"), 1u) << text;
    EXPECT_EQ(count("Bits/Sample: 8"), 1u) << text;
    EXPECT_EQ(count("Bits/Sample: 32"), 1u) << text;
    EXPECT_EQ(count("Bits/Sample: 16"), 1u) << text;
    EXPECT_EQ(count("Software: stitch 1.2"), 1u) << text;

    // tifffile reads the pixels, and the script follows the private blocks by itself.
    std::string objects;
    for (auto it = c.objects.rbegin(); it != c.objects.rend(); ++it) {
        objects += " " + std::to_string(it->id) + ":" + std::to_string(it->red) + "," +
                   std::to_string(it->green) + "," + std::to_string(it->blue) + ":";
        for (unsigned char byte : it->name.ansi) {
            const char* digits = "0123456789abcdef";
            objects += digits[byte >> 4];
            objects += digits[byte & 15];
        }
    }
    const std::string script =
        std::string(ORVO_SOURCE_DIR) + "/orvo/tests/check_stream_writer_file.py";
    const std::string check = std::string(ORVO_PYTHON) + " '" + script + "' '" + path.string() +
                              "' 301 203" + objects + " >'" + out.string() + "' 2>&1";
    const int status = std::system(check.c_str());
    std::ifstream report(out);
    EXPECT_EQ(status, 0) << std::string((std::istreambuf_iterator<char>(report)), {});
}
