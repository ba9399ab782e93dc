// plugin_probe: a small Windows host for saveorvo.bmi. It loads the module beside itself by
// its full name, as 3ds Max loads plug-ins, and checks what the host and Windows see of it
// before any image is written: the five undecorated exports, the class descriptor, every
// string of the string table, the version block, both dialog templates and the manifest.
// It prints one line per failed check and exits with the number of failures.
#include "Util/MaxExceptions.h"
#include "bitmap.h"
#include "max.h"
#include "platform/kernel32_module.h"
#include "plugapi.h"
#include "probe_checks.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using probe::Check;
using probe::CheckText;
using probe::Narrow;

const LANGID EnglishUK = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

void CheckStringTable(HMODULE module) {
    // The texts of the string table, line feeds included: windres must turn each "\n" of
    // the script into one line-feed character.
    const wchar_t* const texts[] = {
        L"ORV",
        L"Bitmap IO",
        L"Orvo Image File",
        L"Error writing Orvo file",
        L"Tessaly",
        L"Copyright (c) 2016 Tessaly",
        L"Orvo File Writer (Tessaly, www.tessaly.com)",
        L"Unnamed %d",
        L"Node ID %d",
        L"Unknown",
        L"Orvo output requires a Z-buffer.\nSelect Orvo file output in the Render Scene "
        L"dialog.",
        L"Node identifiers not available.\nSelect Orvo file output in the Render Scene "
        L"dialog.\n\nPress OK to generate an Orvo file that will not contain Material "
        L"information.",
        L"Warning",
    };
    for (int id = 1; id <= 13; ++id) {
        wchar_t buffer[256];
        const int length = LoadStringW(module, id, buffer, 256);
        const std::string what = "string " + std::to_string(id);
        CheckText(length > 0 ? buffer : nullptr, texts[id - 1], what);
        Check(length == static_cast<int>(std::wcslen(texts[id - 1])),
              what + ": LoadStringW returned " + std::to_string(length));
        // Strings are stored in blocks of sixteen; block (id / 16) + 1 holds this one.
        Check(FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), EnglishUK) !=
                  nullptr,
              what + ": not in English (United Kingdom)");
    }
    wchar_t buffer[256];
    Check(LoadStringW(module, 14, buffer, 256) == 0, "string 14 exists");
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || value == nullptr) {
        return L"(missing)";
    }
    return static_cast<const wchar_t*>(value);
}

void CheckVersionBlock(const std::wstring& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    Check(size != 0, "GetFileVersionInfoSizeW found no version block");
    if (size == 0) {
        return;
    }
    std::vector<BYTE> block(size);
    Check(GetFileVersionInfoW(path.c_str(), 0, size, block.data()) != 0,
          "GetFileVersionInfoW failed");

    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        Check(fixed->dwSignature == 0xFEEF04BD, "fixed file information signature");
        Check(fixed->dwFileVersionMS == MAKELONG(2, 1) &&
                  fixed->dwFileVersionLS == MAKELONG(6199, 17),
              "file version is not 1.2.17.6199");
        Check(fixed->dwProductVersionMS == MAKELONG(2, 1) &&
                  fixed->dwProductVersionLS == MAKELONG(0, 17),
              "product version is not 1.2.17.0");
        Check(fixed->dwFileOS == VOS__WINDOWS32, "operating system is not VOS__WINDOWS32");
        Check(fixed->dwFileType == VFT_DLL, "file type is not VFT_DLL");
    } else {
        Check(false, "no fixed file information");
    }

    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
        length == 4) {
        const WORD* translation = static_cast<const WORD*>(value);
        Check(translation[0] == 0x0809 && translation[1] == 1200,
              "translation is not 0x0809 with code page 1200");
    } else {
        Check(false, "not exactly one translation");
    }

    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } strings[] = {
        {L"CompanyName", L"Tessaly"},
        {L"FileDescription", L"Saveorvo"},
        {L"FileVersion", L"1.2.17.6199"},
        {L"InternalName", L"Saveorvo"},
        {L"LegalCopyright", L"Copyright (c) 2016 Tessaly"},
        {L"OriginalFilename", L"Saveorvo.bmi"},
        {L"ProductName", L"Tessaly Orvo Writer"},
        {L"ProductVersion", L"1.2.17.0"},
    };
    for (const auto& entry : strings) {
        CheckText(VersionString(block, entry.name).c_str(), entry.text,
                  "version block " + Narrow(entry.name));
    }
}

// The bytes of a resource of the module, empty when there is none.
std::vector<BYTE> ResourceBytes(HMODULE module, int id, const wchar_t* type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const BYTE* bytes =
        loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return std::vector<BYTE>(bytes, bytes + SizeofResource(module, found));
}

WORD Word(const std::vector<BYTE>& bytes, std::size_t at) {
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}

void CheckDialogsAndManifest(HMODULE module) {
    // The About box (111) is a classic template, the configuration dialog (112) an extended
    // one (DIALOGEX); each has four controls.
    const std::vector<BYTE> about = ResourceBytes(module, 111, RT_DIALOG);
    Check(about.size() >= 18, "dialog template 111 missing");
    if (about.size() >= 18) {
        Check(Word(about, 2) != 0xFFFF, "dialog 111 is not a classic template");
        Check(Word(about, 8) == 4, "dialog 111 does not have four controls");
    }
    const std::vector<BYTE> configure = ResourceBytes(module, 112, RT_DIALOG);
    Check(configure.size() >= 26, "dialog template 112 missing");
    if (configure.size() >= 26) {
        Check(Word(configure, 0) == 1 && Word(configure, 2) == 0xFFFF,
              "dialog 112 is not an extended template");
        Check(Word(configure, 16) == 4, "dialog 112 does not have four controls");
    }

    const std::vector<BYTE> manifest = ResourceBytes(module, 2, RT_MANIFEST);
    const std::string text(manifest.begin(), manifest.end());
    Check(!manifest.empty(), "manifest (resource 2) missing");
    Check(text.find("level=\"asInvoker\"") != std::string::npos &&
              text.find("uiAccess=\"false\"") != std::string::npos,
          "manifest does not ask for asInvoker without UI access");
    Check(text.find("dpiAware") != std::string::npos && text.find(">true<") != std::string::npos,
          "manifest does not declare the module DPI-aware");
}

// The names in the module's export directory, read from its loaded image.
std::vector<std::string> ExportNames(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (entry.VirtualAddress == 0) {
        return names;
    }
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const DWORD* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        names.push_back(reinterpret_cast<const char*>(base + nameOffsets[i]));
    }
    return names;
}

typedef const MCHAR* (*LibDescriptionFunction)();
typedef int (*LibNumberClassesFunction)();
typedef ClassDesc* (*LibClassDescFunction)(int);
typedef ULONG (*ULongFunction)();

void CheckEntryPoints(HMODULE module) {
    const std::vector<std::string> names = ExportNames(module);
    const std::vector<std::string> expected = {"CanAutoDefer", "LibClassDesc", "LibDescription",
                                               "LibNumberClasses", "LibVersion"};
    std::string listed;
    for (const std::string& name : names) {
        listed += " " + name;
    }
    Check(names == expected, "exports are" + listed);

    const auto libDescription =
        platform::GetProcAddressAs<LibDescriptionFunction>(module, "LibDescription");
    const auto libNumberClasses =
        platform::GetProcAddressAs<LibNumberClassesFunction>(module, "LibNumberClasses");
    const auto libClassDesc =
        platform::GetProcAddressAs<LibClassDescFunction>(module, "LibClassDesc");
    const auto libVersion = platform::GetProcAddressAs<ULongFunction>(module, "LibVersion");
    const auto canAutoDefer = platform::GetProcAddressAs<ULongFunction>(module, "CanAutoDefer");
    Check(libDescription && libNumberClasses && libClassDesc && libVersion && canAutoDefer,
          "GetProcAddress did not find all five exports");
    if (!(libDescription && libNumberClasses && libClassDesc && libVersion && canAutoDefer)) {
        return;
    }
    Check(libVersion() == 0x4A383000, "LibVersion is not 0x4A383000");
    Check(canAutoDefer() == 1, "CanAutoDefer is not 1");
    Check(libNumberClasses() == 1, "LibNumberClasses is not 1");
    CheckText(libDescription(), L"Orvo File Writer (Tessaly, www.tessaly.com)", "LibDescription");
    Check(libClassDesc(1) == nullptr && libClassDesc(-1) == nullptr,
          "LibClassDesc gives a descriptor for an index other than 0");

    ClassDesc* descriptor = libClassDesc(0);
    Check(descriptor != nullptr && descriptor == libClassDesc(0),
          "LibClassDesc(0) is not one descriptor");
    if (descriptor == nullptr) {
        return;
    }
    CheckText(descriptor->ClassName(), L"ORV", "ClassName");
    CheckText(descriptor->Category(), L"Bitmap IO", "Category");
    Check(descriptor->IsPublic() == 1, "IsPublic is not 1");
    Check(descriptor->SuperClassID() == 0xB30, "SuperClassID is not 0xB30");
    Check(descriptor->ClassID() == Class_ID(0x1DED7A21, 0x4F40539E), "ClassID differs");
    Check(descriptor->NumInterfaces() == 0, "the descriptor publishes interfaces");
    // The SDK's range check throws in one module and is caught in another.
    bool thrown = false;
    try {
        descriptor->GetInterfaceAt(0);
    } catch (const MaxSDK::Util::OutOfRangeException&) {
        thrown = true;
    }
    Check(thrown, "GetInterfaceAt(0) did not throw the SDK's out-of-range exception");

    BitmapIO* object = static_cast<BitmapIO*>(descriptor->Create(FALSE));
    Check(object != nullptr, "Create gave no object");
    if (object != nullptr) {
        CheckText(object->LongDesc(), L"Orvo Image File", "LongDesc");
        CheckText(object->ShortDesc(), L"ORV", "ShortDesc");
        delete object;
    }
}

} // namespace

int main() {
    // The module is found beside this program and loaded by its full name.
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    path.erase(path.find_last_of(L'\\') + 1);
    path += L"saveorvo.bmi";

    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        std::printf("FAIL: LoadLibraryW(%s) failed with error %lu\n", Narrow(path.c_str()).c_str(),
                    GetLastError());
        return 1;
    }
    CheckEntryPoints(module);
    CheckStringTable(module);
    CheckDialogsAndManifest(module);
    CheckVersionBlock(path);
    Check(FreeLibrary(module) != 0, "FreeLibrary failed");
    std::printf("%s: %d failed checks\n", Narrow(path.c_str()).c_str(), probe::Failures());
    return probe::Failures();
}
