#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text as the web page and its URLs carry it.

// Decodes %XX escapes; none for a malformed escape or one that decodes to
// NUL (it would cut the name short wherever it is used as C text).
std::optional<std::string> PercentDecode(std::string_view text);

// Escapes every byte but the unreserved ones (letters, digits, "-._~"), so
// that a game name is one path segment whatever it holds.
std::string PercentEncode(std::string_view text);

// For element content and quoted attribute values.
std::string HtmlEscape(std::string_view text);

// A JSON string literal, quotes included. Bytes that are not UTF-8 become
// U+FFFD, so that the document stays valid JSON.
std::string JsonString(std::string_view text);
