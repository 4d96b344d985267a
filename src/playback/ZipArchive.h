#pragma once

#include <zip.h>

#include <memory>
#include <stdexcept>
#include <string>

// Errors of reading or writing a cast archive; the message names the archive
// and says why.
class EArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct TZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using TZipArchive = std::unique_ptr<zip_t, TZipDiscard>;
using TZipFile = std::unique_ptr<zip_file_t, TZipFileClose>;

// Opens an archive with the given zip_open flags; raises EArchiveError with
// the zip reader's own text when it cannot.
TZipArchive OpenZipArchive(const std::string& path, int flags);

// The zip reader's text for the archive's last error.
std::string ZipErrorText(zip_t* archive);
