#include "base/wav.h"

#include <algorithm>
#include <cstring>

namespace zorva {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// The format of a wave image and where its samples lie.
struct Found {
  Wave format;                         // without the samples
  std::uint64_t offset = 0, size = 0;  // size: whole frames only
};

// Walks the chunks of a wave image of `total` bytes, each header read with
// read(at, n, out), which says whether those bytes were there. Every size is
// checked against what is left, so nothing is read out of bounds.
template <typename Read>
std::optional<Found> Find(std::uint64_t total, Read read) {
  std::uint8_t head[16];
  if (total < 12 || total > kMaxWaveFileBytes || !read(0, 12, head)) return std::nullopt;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return std::nullopt;

  Found found;
  Wave& wave = found.format;
  bool haveFormat = false;
  std::uint64_t pos = 12;
  while (total - pos >= 8) {
    if (!read(pos, 8, head)) return std::nullopt;
    const std::uint64_t size = Le32(head + 4);
    const std::uint64_t body = pos + 8;
    const std::uint64_t left = total - body;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (size < 16 || size > left || !read(body, 16, head)) return std::nullopt;
      const unsigned format = Le16(head);
      wave.channels = Le16(head + 2);
      wave.sampleRate = static_cast<int>(Le32(head + 4) > 384000u ? 0u : Le32(head + 4));
      wave.bitsPerSample = Le16(head + 14);
      if (format != 1) return std::nullopt;  // PCM only
      if (wave.channels != 1 && wave.channels != 2) return std::nullopt;
      if (wave.sampleRate < 1000) return std::nullopt;
      if (wave.bitsPerSample != 8 && wave.bitsPerSample != 16) return std::nullopt;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return std::nullopt;
      // A data chunk that claims more than the file holds is cut to what is there.
      const auto frame = static_cast<std::uint64_t>(wave.FrameBytes());
      found.offset = body;
      found.size = (size < left ? size : left) / frame * frame;
      if (found.size == 0) return std::nullopt;
      return found;
    }
    // Chunks are padded to an even size.
    const std::uint64_t advance = 8 + size + (size & 1);
    if (advance > total - pos) break;
    pos += advance;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Wave> ParseWave(std::span<const std::uint8_t> bytes) {
  std::optional<Found> found = Find(bytes.size(), [bytes](std::uint64_t at, std::size_t n, std::uint8_t* out) {
    if (at > bytes.size() || n > bytes.size() - at) return false;
    std::memcpy(out, bytes.data() + at, n);
    return true;
  });
  if (!found) return std::nullopt;
  const auto samples = bytes.subspan(found->offset, found->size);
  found->format.data.assign(samples.begin(), samples.end());
  return std::move(found->format);
}

std::vector<float> ConvertWave(const Wave& wave, int rate) {
  const auto from = static_cast<std::uint64_t>(wave.sampleRate), to = static_cast<std::uint64_t>(rate);
  const auto channels = static_cast<std::size_t>(wave.channels);
  const std::size_t frames = wave.data.size() / static_cast<std::size_t>(wave.FrameBytes());
  if (frames == 0 || from == 0 || to == 0) return {};
  const auto out = static_cast<std::size_t>(std::min(frames * to / from, kMaxConvertedFrames));
  const auto sample = [&](std::size_t frame, std::size_t channel) {
    const std::size_t i = frame * channels + channel;
    if (wave.bitsPerSample == 8) return (wave.data[i] - 128) / 128.0f;
    return static_cast<std::int16_t>(wave.data[2 * i] | (wave.data[2 * i + 1] << 8)) / 32768.0f;
  };
  std::vector<float> samples(out * channels);
  for (std::size_t c = 0; c < channels; ++c) {
    for (std::size_t i = 0; i < out; ++i) {
      const std::uint64_t at = i * from;
      const std::size_t j = static_cast<std::size_t>(at / to);
      const float a = sample(j, c), b = sample(std::min(j + 1, frames - 1), c);
      samples[c * out + i] = a + (b - a) * static_cast<float>(at % to) / static_cast<float>(to);
    }
  }
  return samples;
}

std::size_t WaveFile::Read(std::uint64_t at, std::uint8_t* out, std::size_t n) const {
  if (at >= bytes) return 0;
  return file_.ReadAt(offset_ + at, out, n < bytes - at ? n : static_cast<std::size_t>(bytes - at));
}

std::optional<WaveFile> OpenWaveFile(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // Opened without blocking, so that a pipe or a device under the sound's
  // name cannot hold the game up.
  std::string why;
  WaveFile file;
  file.file_ = ReadOnlyFile::Open(path, why);
  const ReadOnlyFile& opened = file.file_;
  if (!opened.IsOpen() || opened.Size() == 0) return std::nullopt;
  const std::optional<Found> found = Find(opened.Size(), [&opened](std::uint64_t at, std::size_t n, std::uint8_t* out) {
    return opened.ReadAt(at, out, n) == n;
  });
  if (!found) return std::nullopt;
  file.format = found->format;
  file.offset_ = found->offset;
  file.bytes = found->size;
  return file;
}

const WaveFile* WaveSource::Open(const std::string& path) {
  const FileStamp stamp = StampOf(path);
  if (path != path_ || stamp != stamp_) {
    wave_.reset();
    wave_ = OpenWaveFile(path);
    path_ = path;
    stamp_ = stamp;
  }
  return wave_ ? &*wave_ : nullptr;
}

void WaveSource::Close() {
  wave_.reset();
  path_.clear();
  stamp_ = {};
}

}  // namespace zorva
