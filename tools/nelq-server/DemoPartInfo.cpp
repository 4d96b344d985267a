#include "DemoPartInfo.h"

#include "demo/UnitDemoPart.h"

#include <array>
#include <fstream>

std::string DemoPartInfoText(const std::filesystem::path& demoPart) {
    std::array<char, DemoPartInfoSize> info{};
    std::ifstream file(demoPart, std::ios::binary);
    file.seekg(DemoPartInfoOffset);
    file.read(info.data(), info.size());
    const auto got = static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0));

    std::string text;
    for (std::size_t i = 0; i < got && info[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(info[i]);
        text += byte < 0x20 || byte == 0x7f ? ' ' : info[i];
    }
    return text;
}
