// Tag registration of the stitcher's library generation, and the TIFF handles it opens.
//
// libtiff 4 keeps a directory's set-field bits and the handle's flags to itself, so the record
// that holds the private tags' values is found through the handle's client data instead: a
// handle whose close procedure is CloseProc was opened here, and its client data is a
// TiffClient that owns the file, its mapping and the record. The close procedure runs after
// libtiff has finished with the handle, so it frees all three together.
#include "orvo/private_tags.h"

#include "orvo/format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

// Directories of Orvo files are small; this only keeps a malformed file from making libtiff
// allocate without bound (strip arrays of a huge strip count, a huge strip buffer).
const tmsize_t LargestLibraryAllocation = tmsize_t(256) << 20;

char subfileDataName[] = "QuorvaneSubfileData";
char partialTileOffsetsName[] = "QuorvanePartialTileOffsets";

// QuorvaneSubfileData is defined exactly as the plug-in's generation defines it: whichever
// generation merges it first into a handle, the other's row is skipped and nothing changes.
// Both rows are changeable after writing has started.
const TIFFFieldInfo stitcherFields[] = {
    {static_cast<ttag_t>(TagQuorvaneSubfileData), 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 0,
     subfileDataName},
    {static_cast<ttag_t>(TagQuorvanePartialTileOffsets), TIFF_VARIABLE, TIFF_VARIABLE, TIFF_LONG,
     FIELD_CUSTOM, 1, 1, partialTileOffsetsName},
};

// Which private tags the current directory holds: libtiff's own set-field bits are not
// reachable through its public interface.
const std::uint32_t HoldsSubfileData = 1;
const std::uint32_t HoldsPartialTileOffsets = 2;

// The print hook has been installed for the current directory.
const std::uint32_t PrintHookInstalled = 1;

struct PrivateTagRecord {
    std::uint32_t hooks = 0;
    std::uint32_t held = 0;
    std::uint32_t subfileData = 0;
    std::uint16_t partialCount = 0;
    std::vector<std::uint32_t> partialOffsets;
    TIFFVSetMethod parentSet = nullptr;
    TIFFVGetMethod parentGet = nullptr;
    TIFFPrintMethod parentPrint = nullptr;
};

struct TiffClient {
    platform::File file;
    platform::FileMapping mapping;
    std::unique_ptr<PrivateTagRecord> record;
    std::string lastError; // libtiff's latest error on the handle, "module: text"
};

// Process-wide installation state. Opens are expected from one thread at a time.
bool extenderPending = true;
TIFFExtendProc parentExtender = nullptr;

TiffClient* AsClient(thandle_t handle) {
    return static_cast<TiffClient*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size < 0) {
        return -1;
    }
    return static_cast<tmsize_t>(AsClient(handle)->file.Read(buffer, static_cast<size_t>(size)));
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size < 0) {
        return -1;
    }
    return static_cast<tmsize_t>(AsClient(handle)->file.Write(buffer, static_cast<size_t>(size)));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
    // libtiff hands negative relative offsets over as their two's complement.
    const auto signedOffset = static_cast<std::int64_t>(offset);
    if (origin == SEEK_SET && signedOffset < 0) {
        return static_cast<toff_t>(-1);
    }
    const std::int64_t position = AsClient(handle)->file.Seek(signedOffset, origin);
    return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}

int CloseProc(thandle_t handle) {
    std::unique_ptr<TiffClient> client(AsClient(handle));
    client->mapping.Unmap();
    return client->file.Close() ? 0 : -1;
}

toff_t SizeProc(thandle_t handle) {
    const std::int64_t size = AsClient(handle)->file.Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int MapProc(thandle_t handle, void** base, toff_t* size) {
    TiffClient* client = AsClient(handle);
    if (!client->mapping.Map(client->file)) {
        return 0;
    }
    *base = const_cast<unsigned char*>(client->mapping.Data());
    *size = client->mapping.Size();
    return 1;
}

void UnmapProc(thandle_t handle, void* /*base*/, toff_t /*size*/) {
    AsClient(handle)->mapping.Unmap();
}

// libtiff's errors on these handles are kept with the handle, for the walker to report; they
// never reach the process-wide handlers, and neither do its warnings.
int KeepError(TIFF* /*tif*/, void* userData, const char* module, const char* format,
              va_list arguments) {
    TiffClient* client = static_cast<TiffClient*>(userData);
    char text[512];
    if (client != nullptr && std::vsnprintf(text, sizeof text, format, arguments) >= 0) {
        try {
            client->lastError = module != nullptr && *module != 0
                                    ? std::string(module) + ": " + text
                                    : std::string(text);
        } catch (...) {
            client->lastError.clear();
        }
    }
    return 1;
}

int IgnoreWarning(TIFF* /*tif*/, void* /*userData*/, const char* /*module*/, const char* /*format*/,
                  va_list /*arguments*/) {
    return 1;
}

// The client of a handle opened by OpenStitcherTiff; null for handles opened elsewhere.
TiffClient* ClientOf(TIFF* tif) {
    if (TIFFGetCloseProc(tif) != CloseProc) {
        return nullptr;
    }
    return AsClient(TIFFClientdata(tif));
}

PrivateTagRecord* RecordOf(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    return client != nullptr ? client->record.get() : nullptr;
}

void PrintHook(TIFF* tif, FILE* out, long flags) {
    PrivateTagRecord* record = RecordOf(tif);
    if (record == nullptr) {
        return;
    }
    if (record->parentPrint != nullptr) {
        record->parentPrint(tif, out, flags);
    }
    std::fprintf(out, "Quorvane Tags\n");
    if ((record->held & HoldsSubfileData) != 0) {
        std::fprintf(out, "  Quorvane Subfile Data: present\n");
    }
    if ((record->held & HoldsPartialTileOffsets) != 0) {
        std::fprintf(out, "  Quorvane Partial Tile Offsets: %d set\n",
                     static_cast<int>(record->partialCount));
    }
}

int SetFieldHook(TIFF* tif, std::uint32_t tag, va_list arguments) {
    PrivateTagRecord* record = RecordOf(tif);
    if (record == nullptr) {
        return 0;
    }
    if (tag != TagQuorvaneSubfileData && tag != TagQuorvanePartialTileOffsets) {
        return record->parentSet(tif, tag, arguments);
    }

    std::uint32_t subfileData = 0;
    std::uint16_t partialCount = 0;
    std::vector<std::uint32_t> partialOffsets;
    va_list values;
    va_copy(values, arguments);
    if (tag == TagQuorvaneSubfileData) {
        subfileData = va_arg(values, std::uint32_t);
    } else {
        partialCount = static_cast<std::uint16_t>(va_arg(values, int));
        const std::uint32_t* array = va_arg(values, const std::uint32_t*);
        bool copied = partialCount == 0;
        if (!copied && array != nullptr) {
            try {
                partialOffsets.assign(array, array + partialCount);
                copied = true;
            } catch (const std::bad_alloc&) {
            }
        }
        if (!copied) {
            va_end(values);
            return 0;
        }
    }
    va_end(values);

    // libtiff keeps the value as well: its directory writer takes custom values straight from
    // the directory, never through the get hook.
    if (record->parentSet(tif, tag, arguments) == 0) {
        return 0;
    }
    if (tag == TagQuorvaneSubfileData) {
        record->subfileData = subfileData;
        record->held |= HoldsSubfileData;
    } else {
        record->partialCount = partialCount;
        record->partialOffsets.swap(partialOffsets);
        record->held |= HoldsPartialTileOffsets;
    }
    if ((record->hooks & PrintHookInstalled) == 0) {
        TIFFTagMethods* methods = TIFFAccessTagMethods(tif);
        record->parentPrint = methods->printdir;
        methods->printdir = PrintHook;
        record->hooks |= PrintHookInstalled;
    }
    return 1;
}

int GetFieldHook(TIFF* tif, std::uint32_t tag, va_list arguments) {
    PrivateTagRecord* record = RecordOf(tif);
    if (record == nullptr) {
        return 0;
    }
    if (tag == TagQuorvaneSubfileData) {
        // libtiff lets any custom tag through once the directory holds one custom tag, so
        // presence is decided here.
        if ((record->held & HoldsSubfileData) == 0) {
            return 0;
        }
        *va_arg(arguments, std::uint32_t*) = record->subfileData;
        return 1;
    }
    if (tag == TagQuorvanePartialTileOffsets) {
        if ((record->held & HoldsPartialTileOffsets) == 0) {
            return 0;
        }
        *va_arg(arguments, std::uint16_t*) = record->partialCount;
        *va_arg(arguments, std::uint32_t**) = record->partialOffsets.data();
        return 1;
    }
    return record->parentGet(tif, tag, arguments);
}

// libtiff calls this each time it sets up a directory, after it has reset the handle's tag
// methods, so every directory starts with an empty record and fresh hooks.
void Extender(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    if (client != nullptr && client->record == nullptr) {
        client->record.reset(new (std::nothrow) PrivateTagRecord());
        if (client->record == nullptr) {
            return;
        }
    }
    TIFFMergeFieldInfo(tif, stitcherFields, sizeof stitcherFields / sizeof stitcherFields[0]);
    if (client != nullptr) {
        PrivateTagRecord& record = *client->record;
        record = PrivateTagRecord();
        TIFFTagMethods* methods = TIFFAccessTagMethods(tif);
        record.parentSet = methods->vsetfield;
        methods->vsetfield = SetFieldHook;
        record.parentGet = methods->vgetfield;
        methods->vgetfield = GetFieldHook;
    }
    if (parentExtender != nullptr) {
        parentExtender(tif);
    }
}

platform::FileAccess AccessFor(const char* mode) {
    if (mode[0] == 'w') {
        return platform::FileAccess::Create;
    }
    if (mode[0] == 'a' || std::strchr(mode, '+') != nullptr) {
        return platform::FileAccess::ReadWrite;
    }
    return platform::FileAccess::Read;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
};

} // namespace

void InstallPrivateTagExtender() {
    if (extenderPending) {
        extenderPending = false;
        parentExtender = TIFFSetTagExtender(Extender);
    }
}

TIFF* OpenStitcherTiff(const std::string& path, const char* mode) {
    if (mode == nullptr) {
        return nullptr;
    }
    return OpenStitcherTiff(platform::File::Open(path, AccessFor(mode)), path, mode);
}

TIFF* OpenStitcherTiff(platform::File file, const std::string& name, const char* mode,
                       std::string* refusal) {
    InstallPrivateTagExtender();
    if (!file.IsOpen() || mode == nullptr) {
        return nullptr;
    }
    // libtiff would wait on a pipe, or read a device without end.
    if (AccessFor(mode) == platform::FileAccess::Read &&
        file.Kind() != platform::FileKind::Regular) {
        if (refusal != nullptr) {
            *refusal = "not a regular file";
        }
        return nullptr;
    }
    std::unique_ptr<TiffClient> client(new (std::nothrow) TiffClient());
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (client == nullptr || options == nullptr) {
        return nullptr;
    }
    client->file = std::move(file);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepError, client.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), IgnoreWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), LargestLibraryAllocation);
    TIFF* tif = TIFFClientOpenExt(name.c_str(), mode, client.get(), ReadProc, WriteProc, SeekProc,
                                  CloseProc, SizeProc, MapProc, UnmapProc, options.get());
    if (tif != nullptr) {
        // From here on the close procedure owns the client; a failed open never calls it.
        client.release();
    } else if (refusal != nullptr) {
        *refusal = client->lastError;
    }
    return tif;
}

void CloseTiff(TIFF* tif) {
    if (tif != nullptr) {
        TIFFClose(tif);
    }
}

bool ReadTiffBlock(TIFF* tif, std::uint64_t offset, void* buffer, std::size_t size) {
    TiffClient* client = ClientOf(tif);
    if (client != nullptr && client->mapping.IsMapped()) {
        const std::uint64_t fileSize = client->mapping.Size();
        if (offset > fileSize || size > fileSize - offset) {
            return false;
        }
        if (size != 0) {
            std::memcpy(buffer, client->mapping.Data() + offset, size);
        }
        return true;
    }
    thandle_t handle = TIFFClientdata(tif);
    const std::uint64_t fileSize = TIFFGetSizeProc(tif)(handle);
    if (offset > fileSize || size > fileSize - offset ||
        size > static_cast<std::uint64_t>(std::numeric_limits<tmsize_t>::max())) {
        return false;
    }
    if (TIFFGetSeekProc(tif)(handle, offset, SEEK_SET) != offset) {
        return false;
    }
    const auto wanted = static_cast<tmsize_t>(size);
    return TIFFGetReadProc(tif)(handle, buffer, wanted) == wanted;
}

std::uint64_t TiffFileSize(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    if (client != nullptr && client->mapping.IsMapped()) {
        return client->mapping.Size();
    }
    return TIFFGetSizeProc(tif)(TIFFClientdata(tif));
}

std::string TiffError(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    return client != nullptr ? client->lastError : std::string();
}

void ClearTiffError(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    if (client != nullptr) {
        client->lastError.clear();
    }
}

bool IsTiffMapped(TIFF* tif) {
    TiffClient* client = ClientOf(tif);
    return client != nullptr && client->mapping.IsMapped();
}
