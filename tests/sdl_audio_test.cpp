// The wave player of the real window, heard through SDL's disk audio driver,
// which writes what the device plays to a file. Each file is played over an
// earlier sound of the same name: a playable one is heard at once in its
// place for as long as it lasts, anything else silences it. Starting a sound
// is quick and holds little memory, whatever the file's length and rate.
#include "sdl/sdl_audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tests/file_support.h"

namespace zorva {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kMiB = 1024 * 1024, kFull = 16 * kMiB - 44;  // kFull: the largest file
constexpr double kRate = 44100;  // what the player asks for, 16-bit stereo, and the disk driver takes
constexpr double kBuffer = 1024;  // frames the device takes at a time
constexpr std::int16_t kTone = 0x1234;  // the earlier sound: left kTone, right -kTone

// A PCM wave file of `bytes` sample bytes of a 100 Hz square wave, the same
// on both channels; `bits` 16 with `rate` 44,100, stereo, and `square` false
// give the earlier sound instead.
Bytes WaveFile(std::uint32_t rate, std::uint32_t bits, std::uint32_t channels, std::uint32_t bytes,
               bool square = true) {
  Bytes b(44 + std::size_t{bytes});
  auto put = [&b](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const std::uint32_t align = channels * bits / 8;
  std::copy_n("RIFF....WAVEfmt ", 16, b.begin()), put(4, 36 + bytes, 4), put(16, 16, 4), put(20, 1, 2);
  put(22, channels, 2), put(24, rate, 4), put(28, rate * align, 4), put(32, align, 2), put(34, bits, 2);
  std::copy_n("data", 4, b.begin() + 36), put(40, bytes, 4);
  for (std::uint32_t i = 0; i + bits / 8 <= bytes; i += bits / 8) {
    const bool high = i / align / std::max(rate / 200, 1u) % 2;
    const std::uint32_t v = !square   ? (i / 2 % 2 ? 0x10000u - kTone : kTone)
                            : bits == 8 ? (high ? 0xA0 : 0x60)
                                        : (high ? 0x2000 : 0xE000);
    put(44 + i, v, static_cast<int>(bits / 8));
  }
  return b;
}

// Waits up to a minute for `done`; whether it came.
template <typename F>
bool WaitFor(F done) {
  const Clock::time_point end = Clock::now() + std::chrono::minutes(1);
  while (!done() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return done();
}

template <typename F>
Clock::duration Timed(F f) {
  const Clock::time_point t0 = Clock::now();
  f();
  return Clock::now() - t0;
}

long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  return -1;
}

TEST(SdlAudio, PlaysEveryPlayableFileAtOnceInPlaceOfTheSoundBefore) {
  enum Kind { kWave, kMissing, kDirectory, kText, kNoName };
  const struct {
    const char* name;
    bool plays;
    std::uint32_t rate, bits, channels, bytes;
    std::size_t cut = SIZE_MAX;  // the file ends there
    Kind kind = kWave;
  } cases[] = {
      {"1,000 Hz 8-bit mono, 16 MiB", true, 1000, 8, 1, kFull},
      {"3,000 Hz 8-bit mono, 16 MiB", true, 3000, 8, 1, kFull},
      {"44,100 Hz 16-bit stereo, 16 MiB", true, 44100, 16, 2, kFull},
      {"1,000 Hz 16-bit stereo, 1 MiB", true, 1000, 16, 2, kMiB},
      {"8,000 Hz 8-bit stereo, 1 MiB", true, 8000, 8, 2, kMiB},
      {"384,000 Hz 16-bit stereo, 1 MiB", true, 384000, 16, 2, kMiB},
      {"1,000 Hz 8-bit mono, a few bytes", true, 1000, 8, 1, 12},
      {"22,050 Hz 16-bit mono, a few bytes", true, 22050, 16, 1, 8},
      {"22,050 Hz cut inside its samples", true, 22050, 16, 1, kMiB, 44 + 20001},
      {"999 Hz", false, 999, 8, 1, 4000},
      {"384,001 Hz", false, 384001, 16, 2, 4000},
      {"no samples", false, 44100, 16, 2, 0},
      {"cut inside its header", false, 22050, 16, 1, 100, 30},
      {"empty", false, 22050, 16, 1, 100, 0},
      {"missing", false, 0, 8, 1, 0, 0, kMissing},
      {"a directory", false, 0, 8, 1, 0, 0, kDirectory},
      {"text", false, 0, 8, 1, 0, 0, kText},
      {"no name", false, 0, 8, 1, 0, 0, kNoName},
  };
  TempDir dir("audio");
  const fs::path heard = dir.path / "heard.raw";
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "disk", 1), 0);
  setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);  // about ten times as fast as it would be heard
  const Bytes tone = WaveFile(44100, 16, 2, 10 * 44100 * 4, false);
  const fs::path path = dir.path / "sound.wav";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.kind == kNoName ? "" : path.string();
    fs::remove(path);
    WriteBytes(path, tone);
    SdlAudio audio;
    ASSERT_TRUE(audio.IsOpen());
    audio.Play(path.string());
    ASSERT_TRUE(WaitFor([&] { return audio.SecondsLeft() < 9.95; }));

    fs::remove(path);
    std::size_t size = 0;
    if (c.kind == kWave) {
      Bytes b = WaveFile(c.rate, c.bits, c.channels, c.bytes);
      b.resize(std::min(b.size(), c.cut));
      size = b.size();
      WriteBytes(path, b);
    }
    if (c.kind == kDirectory) fs::create_directory(path);
    if (c.kind == kText) WriteBytes(path, {'h', 'e', 'l', 'l', 'o'});
    const double seconds = c.plays ? (size - 44.0) / (c.channels * c.bits / 8) / c.rate : 0;

    std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak memory count
    const long before = StatusKiB("VmRSS");
    const double toneHeard = 10 - audio.SecondsLeft();
    EXPECT_LT(Timed([&] { audio.Play(file); }), std::chrono::milliseconds(500));
    // Heard to its end, or for a second.
    ASSERT_TRUE(WaitFor([&] { return audio.SecondsLeft() == 0 || seconds - audio.SecondsLeft() >= 1; }));
    const double played = (seconds - audio.SecondsLeft()) * kRate;
    EXPECT_LT(Timed([&] { audio.Close(); }), std::chrono::milliseconds(500));
    EXPECT_LT(StatusKiB("VmHWM") - before, 8 * 1024);  // the file is read as it plays

    // The frames heard: the earlier sound, then the new one, each in one piece.
    const Bytes out = ReadBytes(heard);
    long tones = 0, sounds = 0, firstSound = -1, lastSound = -1, lastTone = -1;
    for (long i = 0; i < static_cast<long>(out.size() / 4); ++i) {
      auto at = [&](int k) { return static_cast<std::int16_t>(out[4 * i + k] | (out[4 * i + k + 1] << 8)); };
      if (at(0) == kTone && at(2) == -kTone) ++tones, lastTone = i;
      else if (at(0) != 0 || at(2) != 0) ++sounds, lastSound = i, firstSound = firstSound < 0 ? i : firstSound;
    }
    EXPECT_GT(tones, 0);
    EXPECT_LT(tones, toneHeard * kRate + 2 * kBuffer);
    if (!c.plays) {
      EXPECT_EQ(firstSound, -1);
      continue;
    }
    EXPECT_GT(firstSound, lastTone);
    EXPECT_GT(lastSound - firstSound + 1, played * 0.99 - 0.005 * kRate);
    EXPECT_LT(lastSound - firstSound + 1, played * 1.01 + 3 * kBuffer);
    EXPECT_GT(sounds, (lastSound - firstSound + 1) * 0.95);  // without gaps
  }
}

}  // namespace
}  // namespace zorva
