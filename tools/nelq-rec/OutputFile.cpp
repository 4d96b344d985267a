#include "OutputFile.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

TOutputFile::TOutputFile(std::string path, const std::vector<std::string>& inputs)
    : FPath(std::move(path)),
      FTemporaryPath(FPath + ".nelq-rec-" + std::to_string(getpid()) + ".part") {
    for (const std::string& input : inputs) {
        std::error_code ignored;
        if (std::filesystem::equivalent(FPath, input, ignored))
            throw std::runtime_error("refusing to write " + FPath + ": it is the input " + input);
    }
}

TOutputFile::~TOutputFile() {
    if (!FCommitted) {
        std::error_code ignored;
        std::filesystem::remove(FTemporaryPath, ignored);
    }
}

void TOutputFile::Commit() {
    std::filesystem::rename(FTemporaryPath, FPath);
    FCommitted = true;
}
