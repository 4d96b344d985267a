#pragma once

#include <string>
#include <vector>

// An output file of the tool: never one of the inputs (however its path is
// spelt), written under a temporary name beside it and renamed into place
// only when complete, so a failed run leaves neither a partial file nor a
// damaged earlier one.
class TOutputFile {
public:
    // Throws when `path` names one of `inputs`.
    TOutputFile(std::string path, const std::vector<std::string>& inputs);
    ~TOutputFile(); // removes the temporary file unless committed
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Where to write until Commit.
    const std::string& TemporaryPath() const { return FTemporaryPath; }
    void Commit();

private:
    const std::string FPath;
    const std::string FTemporaryPath;
    bool FCommitted = false;
};
