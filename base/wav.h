// Reading the sound effect: a RIFF/WAVE file of PCM samples. Every field is
// checked against the bytes actually there, so no file, however broken or
// hostile, is read out of bounds; a file that is not a playable wave is simply
// not played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/files.h"

namespace zorva {

// Files larger than this are not read at all.
inline constexpr std::uint64_t kMaxWaveFileBytes = 16u * 1024u * 1024u;

struct Wave {
  int channels = 0;                // 1 or 2
  int sampleRate = 0;              // 1000..384000 Hz
  int bitsPerSample = 0;           // 8 or 16
  std::vector<std::uint8_t> data;  // the sample bytes, whole frames only
  // The bytes of one sample frame: a sample for each channel.
  int FrameBytes() const { return channels * (bitsPerSample / 8); }
};

// Parses a wave file image. Returns nothing for anything it cannot play.
std::optional<Wave> ParseWave(std::span<const std::uint8_t> bytes);

// The longest a converted sound gets, in frames; anything longer is cut.
inline constexpr std::uint64_t kMaxConvertedFrames = std::uint64_t{1} << 24;

// A wave's samples as floats from -1 to 1 at `rate` frames a second (linear
// between the file's frames, the last one held), channel after channel: for a
// player whose output takes only some rates, any playable file.
std::vector<float> ConvertWave(const Wave& wave, int rate);

// A wave file opened to be played: its format, checked like ParseWave's, and
// its samples, which stay in the file and are read as they are needed.
class WaveFile {
 public:
  Wave format;              // without the samples
  std::uint64_t bytes = 0;  // sample bytes, whole frames only
  // Reads up to n sample bytes from sample byte `at` on; how many came (fewer
  // only when the file has shrunk since it was opened).
  std::size_t Read(std::uint64_t at, std::uint8_t* out, std::size_t n) const;

 private:
  ReadOnlyFile file_;
  std::uint64_t offset_ = 0;  // where the samples start in the file
  friend std::optional<WaveFile> OpenWaveFile(const std::string& path);
};

// Opens a file and reads its headers. Missing files, directories, empty,
// oversized and unreadable files, and anything ParseWave refuses, give nothing.
std::optional<WaveFile> OpenWaveFile(const std::string& path);

// The sound a wave player plays: its file is opened and its headers read
// again only when it has changed since it was asked for last, so that the
// same sound played over and over costs next to nothing.
class WaveSource {
 public:
  // The wave file `path` as it is now; nullptr when it cannot be played. The
  // one opened before stays open until then.
  const WaveFile* Open(const std::string& path);
  void Close();

 private:
  std::string path_;
  FileStamp stamp_;
  std::optional<WaveFile> wave_;
};

}  // namespace zorva
