#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nelq-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory");
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

TCommandResult RunCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run: " + command);
    std::string output;
    std::array<char, 65536> chunk;
    for (std::size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        output.append(chunk.data(), n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TInflated InflateWithPython(const std::string& path, std::int64_t offset) {
    const std::string script = "import sys, zlib\n"
                               "data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]):]\n"
                               "d = zlib.decompressobj()\n"
                               "out = d.decompress(data)\n"
                               "sys.stdout.buffer.write(b'1' if d.eof else b'0')\n"
                               "sys.stdout.buffer.write(out)\n";
    WriteBytes(path + ".inflate.py", script);
    const TCommandResult result =
        RunCommand("python3 '" + path + ".inflate.py' '" + path + "' " + std::to_string(offset));
    EXPECT_EQ(result.Status, 0) << "python3 zlib could not inflate " << path;
    if (result.Output.empty())
        return {"", false};
    return {result.Output.substr(1), result.Output[0] == '1'};
}

std::string DeflateWithPython(const std::string& plain) {
    const TTempDir dir;
    const std::string in = dir / "plain";
    WriteBytes(in, plain);
    const TCommandResult result = RunCommand(
        "python3 -c \"import sys,zlib; sys.stdout.buffer.write(zlib.compress(open(sys.argv[1],"
        "'rb').read()))\" '" +
        in + "'");
    EXPECT_EQ(result.Status, 0);
    return result.Output;
}

std::string BunzipWithTool(const std::string& path, std::int64_t offset) {
    const TCommandResult result = RunCommand("tail -c +" + std::to_string(offset + 1) + " '" +
                                             path + "' | bzip2 -dc; exit $?");
    EXPECT_EQ(result.Status, 0) << "bzip2 could not decompress " << path << " from " << offset;
    return result.Output;
}

std::string SampleData(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data;
    data.reserve(size);
    while (data.size() < size)
        data.append(random() % 5 + 1, static_cast<char>('a' + random() % 20));
    data.resize(size);
    return data;
}

std::string NoiseData(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    return data;
}
