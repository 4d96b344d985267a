#include "SectionList.h"

#include "DemoPartInfo.h"

#include "demo/UnitRecordingInfo.h"
#include "platform/CommaText.h"
#include "playback/CastTimeText.h"

namespace {

const std::string CastTimeName = "Cast Time";

} // namespace

std::string SectionListLine(std::int32_t section, const std::string& infoText,
                            std::optional<std::int64_t> castTimeMs) {
    const std::string number = std::to_string(section) + ",";
    // Split as the viewer splits the line, so that what it pairs is what we pair.
    const std::vector<std::string> items = SplitCommaText(infoText);
    if (items.empty() || items.size() % 2 != 0)
        return number + infoText;
    const std::size_t half = items.size() / 2;
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < half; ++i) {
        if (items[i] == CastTimeName)
            continue;
        names.push_back(items[i]);
        values.push_back(items[half + i]);
    }
    if (names.size() == half && !castTimeMs)
        return number + infoText;
    if (castTimeMs) {
        names.push_back(CastTimeName);
        values.push_back(FormatCastTime(*castTimeMs));
    }
    names.insert(names.end(), values.begin(), values.end());
    return number + CommaText(names);
}

std::vector<std::string> SectionListLines(TCast& cast) {
    const std::vector<TSectionState> sections = cast.Sections();
    std::vector<std::string> lines;
    std::optional<std::int64_t> startMs = 0;
    for (std::size_t n = 0; n < sections.size(); ++n) {
        const auto section = static_cast<std::int32_t>(n);
        const TPartState& demo = sections[n].Parts[0];
        if (demo.BodyOffset > TCast::DemoHeadSize && demo.Received >= TCast::DemoHeadSize)
            lines.push_back(
                SectionListLine(section, DemoPartInfoText(cast.PartPath(section, 0)), startMs));
        if (n + 1 == sections.size())
            break; // no later section starts after this one's audio
        // A part still on its way has no length yet, and a guess would be wrong.
        std::optional<std::int32_t> length;
        if (startMs && sections[n].Parts[1].Ended)
            length = cast.AudioLengths.Length(section, cast.PartPath(section, 1));
        startMs = length ? std::optional<std::int64_t>(*startMs + *length) : std::nullopt;
    }
    return lines;
}
