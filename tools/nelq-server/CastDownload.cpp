#include "CastDownload.h"

#include "CastArchiveStream.h"
#include "UrlText.h"
#include "UtcText.h"

namespace {

// Big enough blocks for a fast peer; the block is the bulk of what a
// download holds in memory.
constexpr std::size_t BlockSize = 64 * 1024;

struct TDownload {
    TDownload(std::shared_ptr<TCast> cast, std::shared_ptr<const TCastArchive> archive,
              TServerLog log)
        : Name(cast->Name), Stream(std::move(cast), std::move(archive)), Log(std::move(log)) {}

    const std::string Name;
    TCastArchiveStream Stream;
    TServerLog Log;
};

ssize_t ReadBlock(void* context, std::uint64_t position, char* buffer, std::size_t max) {
    auto& download = *static_cast<TDownload*>(context);
    const std::int64_t got = download.Stream.Read(position, buffer, max);
    if (got < 0) {
        download.Log("http: the download of " + download.Name +
                     " was cut: the cast was deleted or its files are gone");
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    return static_cast<ssize_t>(got);
}

void FreeDownload(void* context) {
    delete static_cast<TDownload*>(context);
}

} // namespace

std::string DownloadFileName(const std::string& game) {
    std::string name;
    for (const char c : game) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '_' || c == '.';
        name += plain ? c : '_';
    }
    return name + ".qmx";
}

MHD_Response* StreamedCastResponse(std::shared_ptr<TCast> cast,
                                   std::shared_ptr<const TCastArchive> layout, TServerLog log) {
    const std::uint64_t size = layout->Size;
    auto* download = new TDownload(std::move(cast), std::move(layout), std::move(log));
    MHD_Response* response =
        MHD_create_response_from_callback(size, BlockSize, ReadBlock, download, FreeDownload);
    if (!response)
        delete download;
    return response;
}

MHD_Response* CastDownloadResponse(std::shared_ptr<TCast> cast,
                                   std::shared_ptr<const TCastArchive> archive, TServerLog log) {
    const std::string name = cast->Name;
    const std::string etag = archive->ETag;
    const std::time_t modified = archive->LastModified;
    MHD_Response* response =
        StreamedCastResponse(std::move(cast), std::move(archive), std::move(log));
    if (!response)
        return nullptr;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/zip");
    // A plain name for every browser, the exact one for those that read RFC 6266.
    const std::string disposition = "attachment; filename=\"" + DownloadFileName(name) +
                                    "\"; filename*=UTF-8''" + PercentEncode(name) + ".qmx";
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_DISPOSITION, disposition.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, etag.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED,
                            UtcText(modified, "%a, %d %b %Y %H:%M:%S GMT").c_str());
    return response;
}
