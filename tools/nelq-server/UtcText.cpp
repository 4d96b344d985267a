#include "UtcText.h"

std::string UtcText(std::time_t time, const char* format) {
    std::tm parts{};
    char text[64] = "";
    if (gmtime_r(&time, &parts))
        std::strftime(text, sizeof(text), format, &parts);
    return text;
}
