#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "demo/UnitRecordingInfo.h"
#include "platform/CommaText.h"

#include <string>

// The info file beside a recording becomes the list a demo part carries as
// comma text: that text must give the list back, and the cut text must keep
// names and values paired within its limit.
void FuzzInfoFile(const std::uint8_t* data, std::size_t size) {
    const std::string text(AsText(data, size));
    const std::vector<std::string> entries = ParseInfoList(text, 123456);
    FuzzCheck(SplitCommaText(CommaText(entries)) == entries, "comma text does not read back");

    const std::size_t half = entries.size() / 2;
    for (const std::size_t limit : {std::size_t{40}, std::size_t{1023}}) {
        const std::string cut = CommaTextWithin(entries, limit);
        FuzzCheck(cut.size() <= limit, "cut comma text is over its limit");
        const std::vector<std::string> kept = SplitCommaText(cut);
        const std::size_t pairs = kept.size() / 2;
        if (kept == entries)
            continue;
        FuzzCheck(kept.size() % 2 == 0 && pairs >= 2 && pairs <= half,
                  "cut comma text does not hold whole pairs");
        for (std::size_t i = 0; i < pairs; ++i)
            FuzzCheck(entries[i].starts_with(kept[i]) &&
                          entries[half + i].starts_with(kept[pairs + i]),
                      "cut comma text pairs a name with another value");
    }
}
