#include "object_capture.h"

#include "resource.h"
#include "saveorvo.h"
#include "view_capture.h"

#include <cmath>
#include <cwchar>

namespace {

// The golden ratio's fraction, three times: successive colours land far apart on the
// three-part colour circle and do not repeat.
double ColourStep() {
    static const double step = (std::sqrt(5.0) - 1.0) / 2.0 * 3.0;
    return step;
}

// The string-table text id formatted with number.
std::wstring FormatText(int id, int number) {
    const MCHAR* format = LoadResourceString(id);
    if (format == nullptr) {
        return std::wstring();
    }
    wchar_t text[256];
    const int length = std::swprintf(text, sizeof text / sizeof text[0], format, number);
    return length < 0 ? std::wstring() : std::wstring(text, static_cast<std::size_t>(length));
}

// The next object id of the output, or 0 once the 65535 ids are used up.
WORD TakeObjectId(CaptureState& state) {
    const WORD id = state.nextObjectId;
    if (id != 0) {
        ++state.nextObjectId; // 65535 + 1 wraps to 0: used up from here on
    }
    return id;
}

WORD AddEntry(CaptureState& state, const std::wstring& name, std::uint8_t red, std::uint8_t green,
              std::uint8_t blue) {
    const WORD id = TakeObjectId(state);
    if (id != 0) {
        state.objectEntries.push_back({id, name, red, green, blue});
    }
    return id;
}

WORD MaterialObjectId(CaptureState& state, Mtl* material) {
    const auto known = state.objectIdByMaterial.find(material);
    if (known != state.objectIdByMaterial.end()) {
        return known->second;
    }
    const Color colour = material->GetDiffuse(0, FALSE);
    const WORD id = AddEntry(state, material->GetName().data(), ColourByte(colour.r),
                             ColourByte(colour.g), ColourByte(colour.b));
    if (id != 0) {
        state.objectIdByMaterial[material] = id;
    }
    return id;
}

WORD NewObjectId(CaptureState& state, WORD renderId) {
    Interface* host = TheManager->Max();
    if (renderId == 0xFFFF || host == nullptr) {
        return 0;
    }
    INode* node = host->GetINodeFromRenderID(renderId);
    if (node == nullptr) {
        if (state.nextObjectId == 0) {
            return 0;
        }
        std::uint8_t rgb[3];
        NextRenderIdColour(ModuleNaming().renderIdColourPhase, rgb);
        return AddEntry(state, FormatText(IDS_NODE_ID, renderId), rgb[0], rgb[1], rgb[2]);
    }
    Mtl* material = state.useMaterialNames ? node->GetMtl() : nullptr;
    if (material != nullptr) {
        return MaterialObjectId(state, material);
    }
    const DWORD wire = node->GetWireColor();
    const MCHAR* name = node->GetName();
    return AddEntry(state, name != nullptr ? name : L"", static_cast<std::uint8_t>(wire & 0xFF),
                    static_cast<std::uint8_t>((wire >> 8) & 0xFF),
                    static_cast<std::uint8_t>((wire >> 16) & 0xFF));
}

} // namespace

ProcessNaming& ModuleNaming() {
    static ProcessNaming naming;
    return naming;
}

std::uint8_t ColourByte(float component) {
    if (!(component > 0.0f)) {
        return 0;
    }
    if (component >= 1.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(component * 255.0f + 0.5f);
}

void NextRenderIdColour(double& phase, std::uint8_t rgb[3]) {
    phase += ColourStep();
    if (phase >= 3.0) {
        phase -= 3.0;
    }
    const int part = static_cast<int>(phase);
    const float f = static_cast<float>(phase - part);
    const float rising = (f + 1.0f) / 2.0f;
    const float falling = (2.0f - f) / 2.0f;
    const float colours[3][3] = {
        {1.0f, rising, falling}, {falling, 1.0f, rising}, {rising, falling, 1.0f}};
    for (int i = 0; i < 3; ++i) {
        rgb[i] = ColourByte(colours[part][i]);
    }
}

void FillObjectIdRow(CaptureState& state, std::uint16_t* row, int y) {
    if (y < 0 || y >= state.height) {
        return;
    }
    const std::size_t start = static_cast<std::size_t>(y) * state.width;
    for (int x = 0; x < state.width; ++x) {
        const std::size_t i = start + x;
        if (IsNoHit(state.depthChannel[i])) {
            row[x] = NoObjectId;
        } else if (state.objectIdChannel != nullptr) {
            row[x] = ObjectIdForRenderId(state, state.objectIdChannel[i]);
        } else {
            row[x] = state.unknownObjectId;
        }
    }
}

WORD ObjectIdForRenderId(CaptureState& state, WORD renderId) {
    const auto known = state.objectIdByRenderId.find(renderId);
    if (known != state.objectIdByRenderId.end()) {
        return known->second;
    }
    const WORD id = NewObjectId(state, renderId);
    state.objectIdByRenderId[renderId] = id;
    return id;
}

WORD UnknownObjectId(CaptureState& state) {
    if (state.unknownObjectId == 0) {
        const MCHAR* name = LoadResourceString(IDS_UNKNOWN);
        state.unknownObjectId = AddEntry(state, name != nullptr ? name : L"", 255, 255, 255);
    }
    return state.unknownObjectId;
}

void AddEntryToFile(const ObjectEntry& entry, Tessaly::Orvo::OrvoFile& file) {
    if (!entry.name.empty()) {
        file.AddObject(entry.id, entry.red, entry.green, entry.blue, entry.name);
        return;
    }
    ProcessNaming& naming = ModuleNaming();
    const std::wstring name = FormatText(IDS_UNNAMED, naming.unnamedCounter);
    ++naming.unnamedCounter;
    file.AddObject(entry.id, entry.red, entry.green, entry.blue, name);
}
