#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

void FuzzFailure(const std::string& what) {
    std::fprintf(stderr, "fuzz rule broken: %s\n", what.c_str());
    std::abort();
}

std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

std::vector<std::string_view> SplitParts(std::string_view input, std::size_t maxParts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const std::size_t marker = input.find(PartMarker);
        if (marker == std::string_view::npos)
            break;
        parts.push_back(input.substr(0, marker));
        input.remove_prefix(marker + PartMarker.size());
    }
    parts.push_back(input);
    return parts;
}

TScratchDir::TScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "nelq-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        FuzzFailure("cannot make a scratch directory");
    FPath = pattern;
}

TScratchDir::~TScratchDir() {
    std::error_code ignored;
    // Harnesses may leave entries without write permission behind.
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(FPath, ignored);
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        FuzzFailure("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> EntriesUnder(const fs::path& root) {
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error))
        entries.push_back(it->path().lexically_relative(root).generic_string());
    return entries;
}

void CheckWrittenOnlyInside(const fs::path& root, const std::vector<std::string>& folders) {
    for (const std::string& entry : EntriesUnder(root)) {
        bool inside = false;
        for (const std::string& folder : folders) {
            const std::string_view name(entry), base(folder);
            inside = inside || name == base || (name.starts_with(base) && name[base.size()] == '/') ||
                     (base.starts_with(name) && base[name.size()] == '/');
        }
        FuzzCheck(inside, "\"" + entry + "\" was written outside " + root.string());
    }
}
