#include "CastPage.h"

#include "UrlText.h"
#include "UtcText.h"

#include "playback/CastTimeText.h"

#include <algorithm>

namespace {

std::string Cell(const std::string& html) {
    return "<td>" + html + "</td>";
}

std::string Anchor(const std::string& target, const char* text) {
    return "<a href=\"" + HtmlEscape(target) + "\">" + text + "</a>";
}

std::string Row(const TCastSummary& cast, const std::string& watchHost) {
    std::string links = Anchor(WatchLink(watchHost, cast.Name), "Watch");
    if (!cast.Live)
        links += " " + Anchor(DownloadPath(cast.Name), "Download");
    return "<tr class=\"" + std::string(cast.Live ? "live" : "finished") + "\">" +
           Cell(HtmlEscape(cast.Name)) + Cell(cast.Live ? "live" : "finished") +
           Cell(std::to_string(cast.Sections)) +
           Cell(cast.LengthMs ? FormatCastTime(*cast.LengthMs) : "unknown") +
           Cell(cast.Started ? UtcText(*cast.Started, "%Y-%m-%d %H:%M UTC") : "unknown") +
           Cell(std::to_string(cast.Viewers)) + Cell(links) + "</tr>\n";
}

} // namespace

std::string WatchLink(const std::string& host, const std::string& game) {
    return "nelq://" + host + "/" + PercentEncode(game) + "/";
}

std::string DownloadPath(const std::string& game) {
    return "/casts/" + PercentEncode(game) + ".qmx";
}

std::string CastPageHtml(const std::vector<TCastSummary>& casts, const std::string& watchHost) {
    const bool anyLive =
        std::any_of(casts.begin(), casts.end(), [](const auto& cast) { return cast.Live; });
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    if (anyLive)
        html += "<meta http-equiv=\"refresh\" content=\"10\">\n";
    html += "<title>Casts</title>\n"
            "<style>body{font-family:sans-serif;margin:1.5em}"
            "table{border-collapse:collapse}th,td{padding:.35em "
            ".9em;text-align:left;white-space:nowrap}"
            "th{border-bottom:2px solid #888}td{border-bottom:1px solid #ddd}"
            "tr.live td:nth-child(2){color:#b00;font-weight:bold}</style>\n"
            "</head>\n<body>\n<h1>Casts</h1>\n";
    if (casts.empty())
        return html + "<p>No casts yet.</p>\n</body>\n</html>\n";
    html += "<table>\n<tr><th>Game</th><th>State</th><th>Sections</th><th>Length</th>"
            "<th>Started</th><th>Viewers</th><th></th></tr>\n";
    for (const TCastSummary& cast : casts)
        html += Row(cast, watchHost);
    return html + "</table>\n</body>\n</html>\n";
}

std::string CastListJson(const std::vector<TCastSummary>& casts, const std::string& watchHost) {
    std::string json = "[";
    for (const TCastSummary& cast : casts) {
        if (json.size() > 1)
            json += ",";
        json +=
            "\n{\"name\":" + JsonString(cast.Name) +
            ",\"generation\":" + JsonString(cast.Generation) + ",\"state\":\"" +
            (cast.Live ? "live" : "finished") + "\",\"sections\":" + std::to_string(cast.Sections) +
            ",\"length_ms\":" + (cast.LengthMs ? std::to_string(*cast.LengthMs) : "null") +
            ",\"started\":" +
            (cast.Started ? "\"" + UtcText(*cast.Started, "%Y-%m-%dT%H:%M:%SZ") + "\"" : "null") +
            ",\"viewers\":" + std::to_string(cast.Viewers) +
            ",\"watch\":" + JsonString(WatchLink(watchHost, cast.Name)) +
            ",\"download\":" + (cast.Live ? "null" : JsonString(DownloadPath(cast.Name))) + "}";
    }
    return json + "\n]\n";
}
