#include "sdl/sdl_audio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/file_support.h"

namespace zorva {
namespace {

// A PCM wave file of `frames` frames of a quiet square wave.
Bytes WaveFile(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, std::uint32_t frames) {
  const std::uint32_t align = channels * bits / 8, bytes = frames * align;
  Bytes b;
  auto put = [&b](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto tag = [&b](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(t[i]));
  };
  tag("RIFF"), put(36 + bytes, 4), tag("WAVE"), tag("fmt "), put(16, 4), put(1, 2), put(channels, 2);
  put(rate, 4), put(rate * align, 4), put(align, 2), put(bits, 2), tag("data"), put(bytes, 4);
  for (std::uint32_t i = 0; i < frames * channels; ++i) put((i / channels / 50) % 2 ? 0xF060u : 0x10A0u, static_cast<int>(bits / 8));
  return b;
}

class SdlAudioTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    audio = std::make_unique<SdlAudio>();
    if (!audio->IsOpen()) GTEST_SKIP() << "no audio device, not even the dummy one";
  }
  std::string Write(const std::string& name, const Bytes& bytes) { return WriteBytes(dir.path / name, bytes); }

  TempDir dir{"audio"};
  std::unique_ptr<SdlAudio> audio;
};

TEST_F(SdlAudioTest, BrokenFilesPlayNothingAndStopTheSoundBefore) {
  const std::string good = Write("good.wav", WaveFile(1, 22050, 16, 44100));
  Bytes truncated = WaveFile(1, 22050, 16, 100);
  truncated.resize(30);
  for (const std::string& file : {(dir.path / "missing.wav").string(), dir.path.string(), Write("empty.wav", {}),
                                  Write("truncated.wav", truncated), Write("nodata.wav", WaveFile(2, 44100, 16, 0)),
                                  Write("text.wav", {'h', 'e', 'l', 'l', 'o'}), std::string()}) {
    SCOPED_TRACE(file);
    audio->Play(good);
    EXPECT_GT(audio->QueuedBytes(), 0u);
    audio->Play(file);
    EXPECT_EQ(audio->QueuedBytes(), 0u);
  }
}

TEST_F(SdlAudioTest, ANewSoundReplacesTheOneStillPlayingAndFilesAreReadAgain) {
  audio->Play(Write("long.wav", WaveFile(2, 44100, 16, 88200)));  // two seconds
  const std::uint32_t longQueued = audio->QueuedBytes();
  audio->Play(Write("short.wav", WaveFile(1, 11025, 8, 551)));  // 50 ms
  EXPECT_GT(audio->QueuedBytes(), 0u);
  EXPECT_LT(audio->QueuedBytes() * 10, longQueued);
  // The same name with other contents plays the new contents; removed, nothing.
  const std::string file = Write("changing.wav", WaveFile(1, 22050, 16, 1100));
  audio->Play(file);
  const std::uint32_t first = audio->QueuedBytes();
  audio->Play(Write("changing.wav", WaveFile(1, 22050, 16, 22050)));
  EXPECT_GT(audio->QueuedBytes(), first * 5);
  fs::remove(file);
  audio->Play(file);
  EXPECT_EQ(audio->QueuedBytes(), 0u);
  // A closed player is silent.
  audio->Close();
  audio->Play(Write("good.wav", WaveFile(1, 22050, 16, 22050)));
  EXPECT_EQ(audio->QueuedBytes(), 0u);
  EXPECT_FALSE(audio->IsOpen());
}

}  // namespace
}  // namespace zorva
