#include "board/upload.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace zorva {

namespace {

constexpr int kMaxParts = 8;
constexpr std::size_t kMaxPartHeaderBytes = 1024;

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The parameter `key` of a header value such as `form-data; name="demo"`,
// quoted or not; a quoted value ends at the next quote (browsers write a
// quote in a field's name or file name as %22).
std::optional<std::string_view> Parameter(std::string_view value, std::string_view key) {
  std::size_t at = value.find(';');
  while (at != std::string_view::npos) {
    value.remove_prefix(at + 1);
    const std::size_t equals = value.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const bool wanted = SameLetters(Trimmed(value.substr(0, equals)), key);
    value = Trimmed(value.substr(equals + 1));
    std::string_view v;
    if (!value.empty() && value.front() == '"') {
      const std::size_t close = value.find('"', 1);
      if (close == std::string_view::npos) return std::nullopt;
      v = value.substr(1, close - 1);
      value.remove_prefix(close + 1);
    } else {
      v = Trimmed(value.substr(0, value.find(';')));
    }
    if (wanted) return v;
    at = value.find(';');
  }
  return std::nullopt;
}

UploadRefusal Bad(const std::string& why) { return {400, why}; }

}  // namespace

UploadRefusal ParseUpload(std::string_view contentType, std::string_view body, Upload& upload) {
  const std::string_view type = Trimmed(contentType.substr(0, contentType.find(';')));
  const std::optional<std::string_view> boundary = Parameter(contentType, "boundary");
  if (!SameLetters(type, "multipart/form-data") || !boundary || boundary->empty() || boundary->size() > 70) {
    return Bad("An upload is a form (multipart/form-data) with the fields name and demo.");
  }
  if (body.size() > kUploadBodyBytes) return {413, "The upload is larger than a demo of 1 MiB and its form."};
  const std::string delimiter = "--" + std::string(*boundary);
  // The body starts with the first delimiter (or a preamble and a line end).
  std::size_t at = body.starts_with(delimiter) ? 0 : body.find("\r\n" + delimiter);
  if (at == std::string_view::npos) return Bad("The form holds no fields.");
  at += body.starts_with(delimiter) ? delimiter.size() : delimiter.size() + 2;
  bool haveName = false, haveDemo = false;
  for (int parts = 0;; ++parts) {
    if (body.substr(at).starts_with("--")) break;  // the closing delimiter
    if (parts == kMaxParts) return Bad("The form holds more fields than an upload has.");
    if (!body.substr(at).starts_with("\r\n")) return Bad("The form is damaged (a field without its line end).");
    at += 2;
    const std::size_t headersEnd = body.find("\r\n\r\n", at);
    if (headersEnd == std::string_view::npos || headersEnd - at > kMaxPartHeaderBytes) {
      return Bad("The form is damaged (a field's headers do not end).");
    }
    std::optional<std::string_view> field;
    for (std::size_t line = at; line < headersEnd;) {
      const std::size_t end = std::min(body.find("\r\n", line), headersEnd);
      const std::string_view header = body.substr(line, end - line);
      const std::size_t colon = header.find(':');
      if (colon != std::string_view::npos && SameLetters(Trimmed(header.substr(0, colon)), "Content-Disposition")) {
        field = Parameter(header.substr(colon + 1), "name");
      }
      line = end + 2;
    }
    const std::size_t contentStart = headersEnd + 4;
    const std::size_t contentEnd = body.find("\r\n" + delimiter, contentStart);
    if (contentEnd == std::string_view::npos) return Bad("The form is damaged (it ends inside a field).");
    const std::string_view content = body.substr(contentStart, contentEnd - contentStart);
    at = contentEnd + 2 + delimiter.size();
    if (!field) return Bad("The form is damaged (a field without a name).");
    if (*field != "name" && *field != "demo") continue;  // a button's value, say
    bool& seen = *field == "name" ? haveName : haveDemo;
    if (seen) return Bad("The form holds the field " + std::string(*field) + " twice.");
    seen = true;
    if (*field == "name") upload.name = content;
    if (*field == "demo") upload.demo = content;
  }
  if (!haveDemo) return Bad("The form holds no demo file (the field demo).");
  if (!haveName) return Bad("The form holds no name (the field name).");
  if (upload.demo.size() > kUploadDemoBytes) return {413, "The demo is larger than 1 MiB, more than the hall takes."};
  return {};
}

}  // namespace zorva
