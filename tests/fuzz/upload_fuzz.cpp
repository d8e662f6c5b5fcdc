// Feeds arbitrary uploads to the hall's form parser and name check: the first
// line is the Content-Type, the rest the body. A form taken holds a demo of at
// most 1 MiB found inside the body, and a name taken is 1 to 24 characters of
// valid UTF-8 without spaces around it; anything else is refused with a
// status and a sentence of one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/names.h"
#include "board/upload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto check = [](bool ok) {
    if (!ok) std::abort();
  };
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = input.find('\n');
  const std::string_view type = input.substr(0, end), body = end == std::string_view::npos ? "" : input.substr(end + 1);
  zorva::Upload upload;
  if (const zorva::UploadRefusal refused = zorva::ParseUpload(type, body, upload)) {
    check((refused.status == 400 || refused.status == 413) && refused.why.find('\n') == std::string::npos);
    return 0;
  }
  check(upload.demo.size() <= zorva::kUploadDemoBytes && body.find(upload.demo) != std::string_view::npos);
  std::string why;
  if (const auto name = zorva::PlayerName(upload.name, why)) {
    check(!name->empty() && name->front() != ' ' && name->back() != ' ' && name->size() <= 4 * 24);
    int characters = 0;
    for (const char c : *name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    check(characters >= 1 && characters <= zorva::kNameMaxCharacters && why.empty());
  } else {
    check(!why.empty() && why.find('\n') == std::string::npos);
  }
  return 0;
}
