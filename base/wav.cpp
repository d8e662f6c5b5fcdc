#include "base/wav.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zorva {

namespace {
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
}  // namespace

std::optional<Wave> ParseWave(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12 || bytes.size() > kMaxWaveFileBytes) return std::nullopt;
  if (std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;

  Wave wave;
  bool haveFormat = false;
  std::size_t pos = 12;
  // Walk the chunks; each header and each body is checked against what is left.
  while (bytes.size() - pos >= 8) {
    const std::uint8_t* head = bytes.data() + pos;
    const std::uint64_t size = Le32(head + 4);
    const std::size_t body = pos + 8;
    const std::size_t left = bytes.size() - body;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (size < 16 || size > left) return std::nullopt;
      const std::uint8_t* f = bytes.data() + body;
      const unsigned format = Le16(f);
      wave.channels = Le16(f + 2);
      wave.sampleRate = static_cast<int>(Le32(f + 4) > 384000u ? 0u : Le32(f + 4));
      wave.bitsPerSample = Le16(f + 14);
      if (format != 1) return std::nullopt;  // PCM only
      if (wave.channels != 1 && wave.channels != 2) return std::nullopt;
      if (wave.sampleRate < 1000) return std::nullopt;
      if (wave.bitsPerSample != 8 && wave.bitsPerSample != 16) return std::nullopt;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return std::nullopt;
      // A data chunk that claims more than the file holds is cut to what is there.
      std::size_t n = static_cast<std::size_t>(size < left ? size : left);
      const std::size_t frame = static_cast<std::size_t>(wave.channels) * (wave.bitsPerSample / 8);
      n -= n % frame;
      if (n == 0) return std::nullopt;
      wave.data.assign(bytes.data() + body, bytes.data() + body + n);
      return wave;
    }
    // Chunks are padded to an even size.
    const std::uint64_t advance = 8 + size + (size & 1);
    if (advance > bytes.size() - pos) break;
    pos += static_cast<std::size_t>(advance);
  }
  return std::nullopt;
}

std::optional<Wave> LoadWaveFile(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // Opened without blocking and checked on the open file itself, so that a
  // pipe or a device under the sound's name cannot hold the game up, and a
  // file swapped between the check and the read is still the one checked.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::vector<std::uint8_t> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
      static_cast<std::uint64_t>(info.st_size) <= kMaxWaveFileBytes) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);  // a file that shrank meanwhile is parsed as it was read
  }
  ::close(fd);
  if (bytes.empty()) return std::nullopt;
  return ParseWave(bytes);
}

}  // namespace zorva
