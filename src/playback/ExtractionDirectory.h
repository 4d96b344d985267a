#pragma once

#include <filesystem>
#include <string>

// The directory an archive is extracted into, replaced whole: the archive's
// files are written into a fresh hidden work directory beside it, which takes
// its place only once every file is in. Until then the directory keeps its
// old content, so a failure midway never leaves a mix of two archives, and no
// file of an earlier archive outlives the next one.
class TExtractionDirectory {
public:
    // Removes the work directories of earlier extractions that a crash left
    // beside `target`, then makes a new one (and the parents of `target`).
    explicit TExtractionDirectory(const std::filesystem::path& target);
    // Removes the work directory unless it took the target's place.
    ~TExtractionDirectory();
    TExtractionDirectory(const TExtractionDirectory&) = delete;
    TExtractionDirectory& operator=(const TExtractionDirectory&) = delete;

    const std::filesystem::path& WorkDirectory() const { return FWork; }

    // Puts the work directory in the target's place and removes the old
    // content. Either the old or the new content is there at every moment
    // where the file system can swap both in one step (renameat2), and after
    // any failure the old content is.
    void Commit();

private:
    void ReplaceInTwoSteps();

    std::filesystem::path FTarget;
    std::filesystem::path FWork;
    bool FCommitted = false;
};

// Whether `name`, an entry beside the directory named `targetName`, is one
// of that directory's work directories (they are hidden: a leading dot).
bool IsExtractionWorkDirectory(const std::string& name, const std::string& targetName);
