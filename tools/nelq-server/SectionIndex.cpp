#include "SectionIndex.h"

#include "UrlText.h"

namespace {

std::string PartJson(const TPartState& part) {
    return "{\"kind\":" + std::to_string(part.Kind) + ",\"size\":" + std::to_string(part.Size) +
           ",\"body_offset\":" + std::to_string(part.BodyOffset) +
           ",\"available\":" + std::to_string(part.Received) +
           ",\"ended\":" + (part.Ended ? "true" : "false") + "}";
}

} // namespace

std::string SectionIndexJson(const std::string& name, const std::string& generation,
                             const TCastState& state) {
    std::string json = "{\"name\":" + JsonString(name) +
                       ",\"generation\":" + JsonString(generation) + ",\"state\":\"" +
                       (state.Completed ? "finished" : "live") + "\",\"sections\":[";
    for (std::size_t n = 0; n < state.Sections.size(); ++n) {
        const TSectionState& section = state.Sections[n];
        // The tag a viewer gets with the section's demo stream.
        json += std::string(n ? "," : "") +
                "\n{\"tag\":" + std::to_string(section.Parts[0].BodyOffset) +
                ",\"demo\":" + PartJson(section.Parts[0]) +
                ",\"audio\":" + PartJson(section.Parts[1]) + "}";
    }
    return json + "]}\n";
}
