// Feeds arbitrary bytes to the sound effect loader, both from memory and
// through a real file, as the game reads it on every hit. Nothing may be read
// out of bounds, and whatever is accepted must be playable as described.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "base/wav.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckWave(const std::optional<zorva::Wave>& w, std::size_t fileSize) {
  if (!w) return;
  Check(w->channels == 1 || w->channels == 2);
  Check(w->bitsPerSample == 8 || w->bitsPerSample == 16);
  Check(w->sampleRate >= 1000 && w->sampleRate <= 384000);
  const std::size_t frame = static_cast<std::size_t>(w->channels) * static_cast<std::size_t>(w->bitsPerSample / 8);
  Check(!w->data.empty() && w->data.size() % frame == 0);
  Check(w->data.size() + 12 + 8 + 8 + 16 <= fileSize);
}

// One file per fuzzing process, rewritten for every input and removed when
// the process ends.
struct Scratch {
  Scratch()
      : path((std::filesystem::temp_directory_path() / ("wav_fuzz_" + std::to_string(::getpid()) + ".wav")).string()) {}
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  std::string path;
};

const std::string& ScratchFile() {
  static const Scratch scratch;
  return scratch.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<zorva::Wave> parsed = zorva::ParseWave(std::span<const std::uint8_t>(data, size));
  CheckWave(parsed, size);

  std::FILE* f = std::fopen(ScratchFile().c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  if (!written) return 0;
  const std::optional<zorva::Wave> loaded = zorva::LoadWaveFile(ScratchFile());
  // An empty file is not read at all; anything else gives what the bytes give.
  Check(loaded.has_value() == parsed.has_value());
  if (loaded) Check(loaded->data == parsed->data && loaded->sampleRate == parsed->sampleRate);
  return 0;
}
