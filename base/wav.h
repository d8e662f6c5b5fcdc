// Reading the sound effect: a RIFF/WAVE file of PCM samples. Every field is
// checked against the bytes actually there, so no file, however broken or
// hostile, is read out of bounds; a file that is not a playable wave is simply
// not played.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zorva {

// Files larger than this are not read at all.
inline constexpr std::uint64_t kMaxWaveFileBytes = 16u * 1024u * 1024u;

struct Wave {
  int channels = 0;        // 1 or 2
  int sampleRate = 0;      // 1000..384000 Hz
  int bitsPerSample = 0;   // 8 or 16
  std::vector<std::uint8_t> data;  // the sample bytes, whole frames only
};

// Parses a wave file image. Returns nothing for anything it cannot play.
std::optional<Wave> ParseWave(std::span<const std::uint8_t> bytes);

// Reads and parses a file. Missing files, directories, empty, oversized and
// unreadable files give nothing.
std::optional<Wave> LoadWaveFile(const std::string& path);

}  // namespace zorva
