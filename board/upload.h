// The upload of a game to the hall: a form (multipart/form-data, what a plain
// HTML form and a page's FormData both send) with the player's name in the
// field "name" and the demo file in the field "demo". Every byte is a
// stranger's: the parser looks only inside the body it is given and takes at
// most a few parts, each of bounded size.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorva {

// The largest demo the hall takes, and the largest body of an upload (the
// demo and what the form adds around it).
inline constexpr std::size_t kUploadDemoBytes = std::size_t{1} << 20;
inline constexpr std::size_t kUploadBodyBytes = kUploadDemoBytes + 16 * 1024;

struct Upload {
  std::string name;  // as the player wrote it, checked by PlayerName
  std::string demo;
};

// What is wrong with an upload: the HTTP status (400 or 413) and a sentence.
struct UploadRefusal {
  int status = 0;
  std::string why;
  explicit operator bool() const { return status != 0; }
};

// Reads the form in `body`, sent with the header Content-Type `contentType`.
UploadRefusal ParseUpload(std::string_view contentType, std::string_view body, Upload& upload);

}  // namespace zorva
