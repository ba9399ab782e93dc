// How the up and down faces of a panorama were turned: stated by the user or found in the
// panorama's own pixels, settled once for the command at hand.
#include "commands.h"
#include "orvo_document.h"

RollsSettled SettleFaceRolls(OrvoDocument& document, const std::optional<FaceRolls>& stated) {
    RollsSettled settled = {stated.has_value(), std::nullopt};
    document.rolls = UnrolledFaces;
    if (!document.panorama || document.width != 6 * document.height) {
        return settled;
    }
    if (stated) {
        document.rolls = *stated;
        return settled;
    }
    PanoramaPixels pixels = {document.height, nullptr, nullptr, 0.0, 1.0};
    if (document.HasColour()) {
        pixels.colour = document.colour.data();
    }
    if (document.HasDepth()) {
        const DepthScale scale = document.Scale();
        pixels.depth = document.depth.data();
        pixels.nearDepth = scale.nearDepth;
        pixels.farDepth = scale.farDepth;
    }
    settled.finding = FindPanoramaRolls(pixels);
    document.rolls = settled.finding->rolls;
    return settled;
}

bool ParseFaceRolls(const std::string& text, FaceRolls& rolls) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    const auto roll = [](const std::string& part, bool& rolled) {
        rolled = part == "180";
        return part == "0" || part == "180";
    };
    return roll(text.substr(0, comma), rolls.upRolled) &&
           roll(text.substr(comma + 1), rolls.downRolled);
}

FaceRolls RollsOption(const Arguments& arguments, std::size_t at) {
    FaceRolls rolls = UnrolledFaces;
    if (at >= arguments.size()) {
        throw UsageError("--rolls needs a value UP,DOWN");
    }
    if (!ParseFaceRolls(arguments[at], rolls)) {
        throw UsageError("--rolls takes UP,DOWN, each 0 or 180, not \"" + arguments[at] + "\"");
    }
    return rolls;
}
