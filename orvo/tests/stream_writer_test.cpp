// OrvoStreamWriter: whole files against bytes this test assembles from the format's rules, the
// same files through tiffinfo and tifffile, refusals of misuse and failing targets.
#include "orvo/stream_writer.h"

#include "classic_tiff.h"
#include "tiff_builder.h"

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
#include <vector>

namespace fs = std::filesystem;

using classic_tiff::ReadChain;
using classic_tiff::U32;
using test::Bytes;
using test::ReadFileBytes;

namespace {

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

// A panorama view record whose every field differs, so that a swapped or shifted field shows.
PanoramaView DistinctPanorama() {
    PanoramaView view;
    InitPanoramaView(view);
    double value = -3.0;
    for (Vector3* vector : {&view.eyePoint, &view.upAxis, &view.viewDirection, &view.centrePoint}) {
        *vector = {value, value + 1.125, value + 2.25};
        value += 3 * 1.125;
    }
    for (double* field : {&view.scalar, &view.nearDepth, &view.farDepth, &view.unitScale}) {
        *field = value;
        value += 1.125;
    }
    view.unitCode = UnitMetre;
    return view;
}

// ---- The expected file, placed by the format's rules ---------------------------------------

struct Expected {
    test::TiffBuilder file;
    std::size_t dateTimeAt = 0;
};

const test::Order littleEndian;

void RowBlocks(test::TiffBuilder& f, const Case& c, std::uint32_t mask, int rows) {
    for (int y = 0; y < rows; ++y) {
        Bytes row;
        for (int x = 0; (mask & LayerDepth) && x < c.width; ++x) {
            littleEndian.U32(row, DepthAt(x, y));
        }
        for (int x = 0; (mask & LayerObjectId) && x < c.width; ++x) {
            littleEndian.U16(row, IdAt(x, y));
        }
        for (int x = 0; (mask & LayerColour) && x < c.width; ++x) {
            unsigned char rgb[3];
            ColourAt(x, y, rgb);
            row.insert(row.end(), rgb, rgb + 3);
        }
        row.resize((row.size() + 3) / 4 * 4, 0);
        f.Append(row);
    }
}

// The StripOffsets and StripByteCounts entries of a layer, their arrays placed here when they
// do not fit in the entries.
std::vector<test::Entry> StripEntries(test::TiffBuilder& f, const Case& c, std::uint32_t row0,
                                      std::uint32_t stride, unsigned rowBytes) {
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t y = 0; y < c.height; ++y) {
        offsets.push_back(row0 + y * stride);
    }
    const std::vector<std::uint16_t> counts(c.height, static_cast<std::uint16_t>(rowBytes));
    return {f.Place(f.Long(273, offsets)), f.Place(f.Short(279, counts))};
}

// The ten entries of a depth or object-id directory; returns its offset.
std::uint32_t SampleDirectory(test::TiffBuilder& f, const Case& c, std::uint16_t bits,
                              const std::vector<test::Entry>& strips, std::uint32_t header) {
    std::vector<test::Entry> entries = {f.Short(256, {c.width}), f.Short(257, {c.height}),
                                        f.Short(258, {bits}),    f.Short(259, {1}),
                                        f.Short(262, {1}),       f.Short(277, {1}),
                                        f.Short(278, {1}),       f.Long(34953, {header})};
    entries.insert(entries.end(), strips.begin(), strips.end());
    return f.AddDirectory(entries);
}

Expected Assemble(const Case& c) {
    Expected e;
    test::TiffBuilder& f = e.file;

    RowBlocks(f, c, LayerAll, c.abandonedRows);
    const bool depth = c.mask & LayerDepth, ids = c.mask & LayerObjectId,
               colour = c.mask & LayerColour;
    const std::uint32_t depthRow0 = f.Size();
    const std::uint32_t idRow0 = depthRow0 + (depth ? 4u * c.width : 0);
    const std::uint32_t colourRow0 = idRow0 + (ids ? 2u * c.width : 0);
    RowBlocks(f, c, c.mask, c.height);
    const std::uint32_t stride = (f.Size() - depthRow0) / c.height;

    // Records padded to even length, each linked to the one before.
    std::uint32_t head = 0;
    for (const Object& o : c.objects) {
        head = f.Append(test::EncodeObjectRecord(littleEndian, head, o.id, o.red, o.green, o.blue,
                                                 o.name.ansi));
    }

    // The layers in the order they are written; each links to the one written before it.
    std::vector<std::uint32_t> written;
    if (ids) {
        const auto strips = StripEntries(f, c, idRow0, stride, 2u * c.width);
        const std::uint32_t header = f.Append(test::EncodeObjectTableBlock(
            littleEndian, static_cast<std::uint32_t>(c.objects.size()), head));
        written.push_back(SampleDirectory(f, c, 16, strips, header));
    }
    if (depth) {
        const auto strips = StripEntries(f, c, depthRow0, stride, 4u * c.width);
        const std::uint32_t header =
            f.Append(c.panorama ? test::EncodePanoramaBlock(littleEndian, c.panoramaView)
                                : test::EncodePerspectiveBlock(littleEndian, c.perspective));
        written.push_back(SampleDirectory(f, c, 32, strips, header));
    }
    if (colour) {
        std::vector<test::Entry> entries = {f.Place(f.Short(258, {8, 8, 8}))};
        const auto strips = StripEntries(f, c, colourRow0, stride, 3u * c.width);
        entries.insert(entries.end(), strips.begin(), strips.end());
        entries.push_back(f.Place(f.Rational(282, 100, 1)));
        entries.push_back(f.Place(f.Rational(283, 100, 1)));
        // Software always, the other texts when given; a text of up to four bytes with its NUL
        // sits in its entry.
        entries.push_back(f.Place(f.Ascii(305, c.software.ansi)));
        for (const auto& text :
             {std::make_pair(269, &c.documentName), std::make_pair(315, &c.artist),
              std::make_pair(33432, &c.copyright)}) {
            if (!text.second->ansi.empty()) {
                entries.push_back(f.Place(f.Ascii(text.first, text.second->ansi)));
            }
        }
        e.dateTimeAt = f.Size();
        entries.push_back(f.Place(f.Ascii(306, "YYYY:MM:DD hh:mm:ss")));
        const std::uint32_t header = f.Append(test::EncodeLayerHeader(littleEndian, KindColour));
        entries.insert(entries.end(),
                       {f.Short(256, {c.width}), f.Short(257, {c.height}), f.Short(259, {1}),
                        f.Short(262, {2}), f.Short(277, {3}), f.Short(278, {1}), f.Short(296, {2}),
                        f.Long(34953, {header})});
        written.push_back(f.AddDirectory(entries));
    }
    std::uint32_t link = 0;
    for (const std::uint32_t directory : written) {
        f.PatchU32(f.NextLinkOf(directory), link);
        link = directory;
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
    const Bytes actual = ReadFileBytes(path);
    Bytes& want = expected.file.Data();
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

// The raw value field of a directory's entry: the value itself, or the offset of its values.
std::uint32_t ValueField(const classic_tiff::Directory& directory, std::uint16_t tag) {
    const classic_tiff::Entry* entry = directory.Find(tag);
    EXPECT_NE(entry, nullptr) << "no tag " << tag;
    return entry != nullptr ? entry->valueField : 0;
}

class StreamWriter : public ::testing::Test {
protected:
    void SetUp() override {
        // Away from UTC, so that a stamp in local time cannot pass for UTC.
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? std::make_unique<std::string>(tz) : nullptr;
        setenv("TZ", "ORV-5:30", 1);
        tzset();
    }
    void TearDown() override {
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

    test::TemporaryFolder folder_;
    const fs::path dir_ = folder_.path();
    std::unique_ptr<std::string> savedTz_;
};

Case FullCase() {
    Case c;
    c.width = 5; // 9 bytes a pixel: 45-byte rows, 3 pad bytes
    c.height = 7;
    c.perspective = test::SampleView();
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
    // rows 8..20 (4 + 2 + 3 + 3 pad); id block: header 20..36, IFD 36..162;
    // depth block: header 162..374, IFD 374..500; colour block: BitsPerSample 500, XResolution
    // 506, YResolution 514, DateTime 522, header 542, IFD 550..736.
    Case c;
    c.width = 1;
    c.height = 1;
    InitPerspectiveView(c.perspective);
    WriteAndCompare(c);
    const auto f = ReadFileBytes(dir_ / "file.orv");
    ASSERT_EQ(f.size(), 736u);
    const auto chain = ReadChain(f);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].offset, 550u);
    EXPECT_EQ(chain[0].entries.size(), 15u);
    EXPECT_EQ(chain[1].offset, 374u);
    EXPECT_EQ(chain[2].offset, 36u);
    EXPECT_EQ(chain[2].next, 0u);
    EXPECT_EQ(ValueField(chain[0], 306), 522u);
    EXPECT_EQ(ValueField(chain[0], 273), 14u); // colour row after depth and id
    EXPECT_EQ(ValueField(chain[1], 273), 8u);
    EXPECT_EQ(ValueField(chain[2], 273), 12u);
    // Empty Software: present, count 1, just the NUL in the entry.
    const classic_tiff::Entry* software = chain[0].Find(305);
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->count, 1u);
    EXPECT_EQ(software->valueField, 0u);
}

TEST_F(StreamWriter, ColourOnlyHasOneDirectoryAndNoObjectTable) {
    Case c;
    c.width = 3; // 9 bytes, 3 pad
    c.height = 4;
    c.mask = LayerColour;
    c.software = Plain("abcd"); // 5 bytes: out of the entry, padded
    WriteAndCompare(c);
    EXPECT_EQ(ReadChain(ReadFileBytes(dir_ / "file.orv")).size(), 1u);
}

TEST_F(StreamWriter, OneRowKeepsStripOffsetsAndByteCountInTheEntries) {
    Case c;
    c.width = 4;
    c.height = 1;
    c.perspective = test::SampleView();
    c.objects = {{2, 9, 8, 7, Plain("Box")}};
    WriteAndCompare(c);
    const auto chain = ReadChain(ReadFileBytes(dir_ / "file.orv"));
    ASSERT_EQ(chain.size(), 3u);
    const classic_tiff::Entry* offsets = chain[0].Find(273);
    ASSERT_NE(offsets, nullptr);
    EXPECT_EQ(offsets->count, 1u);
    EXPECT_EQ(offsets->valueField, 8u + 16 + 8); // after the depth and id rows
    EXPECT_EQ(ValueField(chain[0], 279) & 0xFFFF, 12u);
}

TEST_F(StreamWriter, TwoRowsKeepTwoShortByteCountsInTheEntry) {
    Case c;
    c.width = 7;
    c.height = 2;
    c.perspective = test::SampleView();
    WriteAndCompare(c);
    const auto chain = ReadChain(ReadFileBytes(dir_ / "file.orv"));
    ASSERT_EQ(chain.size(), 3u);
    const classic_tiff::Entry* counts = chain[1].Find(279);
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(counts->type, classic_tiff::TypeShort);
    EXPECT_EQ(counts->count, 2u);
    EXPECT_EQ(counts->valueField, 28u | 28u << 16);
}

TEST_F(StreamWriter, NoObjectsGiveCountAndHeadZero) {
    Case c = FullCase();
    c.objects.clear();
    WriteAndCompare(c);
    const auto f = ReadFileBytes(dir_ / "file.orv");
    const auto chain = ReadChain(f);
    ASSERT_EQ(chain.size(), 3u);
    const std::uint32_t header = ValueField(chain[2], 34953);
    EXPECT_EQ(U32(f, header), 2u);
    EXPECT_EQ(U32(f, header + 8), 0u);
    EXPECT_EQ(U32(f, header + 12), 0u);
}

TEST_F(StreamWriter, LongNamesComeBackUnchangedAndRecordsStayEven) {
    Case c;
    c.width = 2;
    c.height = 2;
    c.perspective = test::SampleView();
    // 198 ASCII bytes and one two-byte character: 200 bytes; then 201 bytes, which needs a pad.
    Text twoHundred = {std::wstring(198, L'n') + L"\u00f8", std::string(198, 'n') + "\xc3\xb8"};
    Text twoHundredOne = Plain(std::string(201, 'm'));
    c.objects = {{7, 1, 1, 1, twoHundred}, {8, 2, 2, 2, twoHundredOne}, {9, 3, 3, 3, Plain("x")}};
    WriteAndCompare(c);

    // Walk the table from its head as a reader does, newest first.
    const auto f = ReadFileBytes(dir_ / "file.orv");
    const auto chain = ReadChain(f);
    ASSERT_EQ(chain.size(), 3u);
    const std::uint32_t header = ValueField(chain[2], 34953);
    ASSERT_EQ(U32(f, header + 8), 3u);
    std::vector<std::string> names;
    for (const classic_tiff::ObjectRecord& record : classic_tiff::ObjectTable(f, header)) {
        EXPECT_EQ(record.offset % 2, 0u);
        names.push_back(record.name);
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
    c.perspective = test::SampleView();
    c.objects = {{5, 10, 20, 30, Plain("")}, {6, 40, 50, 60, Plain("After")}};
    WriteAndCompare(c);
    // The first record is 10 bytes (previous, id, three colour bytes, NUL), so the second
    // one links back exactly 10 bytes.
    const auto f = ReadFileBytes(dir_ / "file.orv");
    const std::uint32_t first = 8 + 3 * 28;
    EXPECT_EQ(U32(f, first + 10), first);
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
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'I', 'I', 42, 0, 0, 0, 0, 0}));
}

TEST_F(StreamWriter, SecondCloseDoesNothingAndClosedWriterRefusesMore) {
    const Case c = FullCase();
    const fs::path path = dir_ / "file.orv";
    auto writer = Create(path, c);
    WriteRows(*writer, c);
    AddObjects(*writer, c);
    writer->Close();
    const auto first = ReadFileBytes(path);
    writer->Close();
    EXPECT_EQ(ReadFileBytes(path), first);
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
    EXPECT_EQ(ReadFileBytes(path), first);
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
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));

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
    const auto f = ReadFileBytes(path);
    ASSERT_EQ(f.size(), 8u + 48);
    EXPECT_EQ(U32(f, 4), 0u);
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
    EXPECT_EQ(count("Photometric Interpretation: min-is-black"), 2u) << text;
    EXPECT_EQ(text.find("PhotometricInterpretation"), std::string::npos) << text;
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
