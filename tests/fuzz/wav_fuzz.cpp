// Arbitrary bytes for the sound effect loader, from memory and through a real
// file as the game reads it on every hit: nothing may be read out of bounds,
// and whatever is accepted is playable as described.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto check = [](bool ok) { ok ? void() : std::abort(); };
  const std::optional<zorva::Wave> w = zorva::ParseWave(std::span<const std::uint8_t>(data, size));
  if (w) {
    const auto frame = static_cast<std::size_t>(w->FrameBytes());
    check((w->channels == 1 || w->channels == 2) && (w->bitsPerSample == 8 || w->bitsPerSample == 16));
    check(w->sampleRate >= 1000 && w->sampleRate <= 384000 && !w->data.empty() && w->data.size() % frame == 0);
    check(w->data.size() + 44 <= size);
  }
  static const std::string file = (std::filesystem::temp_directory_path() / ("wav_fuzz_" + std::to_string(::getpid()))).string();
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 0;
  const std::optional<zorva::WaveFile> opened = zorva::OpenWaveFile(file);
  std::vector<std::uint8_t> samples(opened ? opened->bytes : 0);
  if (opened) samples.resize(opened->Read(0, samples.data(), samples.size()));
  std::remove(file.c_str());
  check(opened.has_value() == w.has_value() && (!opened || samples == w->data));
  return 0;
}
