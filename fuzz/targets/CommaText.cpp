#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "demo/UnitRecordingInfo.h"
#include "platform/CommaText.h"

// Comma text from a server or a file: whatever it splits into, written back
// as comma text it must split into the same items.
void FuzzCommaText(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> items = SplitCommaText(std::string(AsText(data, size)));
    FuzzCheck(SplitCommaText(CommaText(items)) == items, "comma text does not read back");
}
