#include "playback/ZipArchive.h"

TZipArchive OpenZipArchive(const std::string& path, int flags) {
    int code = ZIP_ER_OK;
    zip_t* archive = zip_open(path.c_str(), flags, &code);
    if (archive)
        return TZipArchive(archive);
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EArchiveError("Cannot open the archive \"" + path + "\": " + text);
}

std::string ZipErrorText(zip_t* archive) {
    return zip_error_strerror(zip_get_error(archive));
}
