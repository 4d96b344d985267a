#include "CastGeneration.h"

#include "net/NelqExceptions.h"

#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

fs::path GenerationPath(const fs::path& directory) {
    return directory / "generation";
}

} // namespace

std::string NewCastGeneration() {
    std::random_device random;
    static constexpr char Digits[] = "0123456789abcdef";
    std::string generation;
    for (int i = 0; i < 16; ++i)
        generation += Digits[random() % 16];
    return generation;
}

bool IsCastGeneration(std::string_view text) {
    return !text.empty() && text.size() <= 32 &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string LoadCastGeneration(const fs::path& directory) {
    std::ifstream file(GenerationPath(directory));
    std::string generation;
    std::getline(file, generation);
    if (IsCastGeneration(generation))
        return generation;
    generation = NewCastGeneration();
    SaveCastGeneration(directory, generation);
    return generation;
}

void SaveCastGeneration(const fs::path& directory, const std::string& generation) {
    const fs::path temporary = GenerationPath(directory).string() + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        if (!(file << generation << '\n').flush())
            throw ENelqException("Cannot write " + temporary.string() + ".");
    }
    fs::rename(temporary, GenerationPath(directory));
}
