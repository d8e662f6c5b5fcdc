#include "app/sdl_audio.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zorva {
namespace {

namespace fs = std::filesystem;

void Put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A PCM wave file of `frames` frames of a quiet square wave.
std::vector<std::uint8_t> WaveFile(int channels, int rate, int bits, int frames) {
  const std::uint32_t bytes = static_cast<std::uint32_t>(frames * channels * bits / 8);
  std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F'};
  Put32(b, 36 + bytes);
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<std::uint8_t>(c));
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(channels));
  Put32(b, static_cast<std::uint32_t>(rate));
  Put32(b, static_cast<std::uint32_t>(rate * channels * bits / 8));
  Put16(b, static_cast<unsigned>(channels * bits / 8));
  Put16(b, static_cast<unsigned>(bits));
  for (char c : std::string("data")) b.push_back(static_cast<std::uint8_t>(c));
  Put32(b, bytes);
  for (int i = 0; i < frames * channels; ++i) {
    const bool high = (i / channels / 50) % 2 == 0;
    if (bits == 8) {
      b.push_back(high ? 0xA0 : 0x60);
    } else {
      Put16(b, high ? 0x1000u : 0xF000u);
    }
  }
  return b;
}

class SdlAudioTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    dir = fs::temp_directory_path() / ("zorva-audio-" + std::to_string(getpid()));
    fs::create_directories(dir);
    audio = std::make_unique<SdlAudio>();
    if (!audio->IsOpen()) GTEST_SKIP() << "no audio device, not even the dummy one";
  }
  void TearDown() override {
    audio.reset();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  fs::path dir;
  std::unique_ptr<SdlAudio> audio;
};

TEST_F(SdlAudioTest, BrokenFilesPlayNothingAndStopTheSoundBefore) {
  const std::string good = Write("good.wav", WaveFile(1, 22050, 16, 44100));
  std::vector<std::uint8_t> truncated = WaveFile(1, 22050, 16, 100);
  truncated.resize(30);
  std::vector<std::uint8_t> noData = WaveFile(2, 44100, 16, 0);
  const std::string cases[] = {
      (dir / "missing.wav").string(),
      dir.string(),
      Write("empty.wav", {}),
      Write("truncated.wav", truncated),
      Write("nodata.wav", noData),
      Write("text.wav", {'h', 'e', 'l', 'l', 'o'}),
      "",
  };
  for (const std::string& file : cases) {
    SCOPED_TRACE(file);
    audio->Play(good);
    EXPECT_GT(audio->QueuedBytes(), 0u);
    audio->Play(file);
    EXPECT_EQ(audio->QueuedBytes(), 0u);
  }
}

TEST_F(SdlAudioTest, ANewSoundReplacesTheOneStillPlaying) {
  const std::string longer = Write("long.wav", WaveFile(2, 44100, 16, 88200));  // two seconds
  const std::string shorter = Write("short.wav", WaveFile(1, 11025, 8, 551));   // 50 ms
  audio->Play(longer);
  const std::uint32_t longQueued = audio->QueuedBytes();
  audio->Play(shorter);
  const std::uint32_t shortQueued = audio->QueuedBytes();
  EXPECT_GT(shortQueued, 0u);
  EXPECT_LT(shortQueued * 10, longQueued);
}

TEST_F(SdlAudioTest, AChangedFileIsReadAgain) {
  const std::string file = Write("changing.wav", WaveFile(1, 22050, 16, 1100));
  audio->Play(file);
  const std::uint32_t first = audio->QueuedBytes();
  Write("changing.wav", WaveFile(1, 22050, 16, 22050));
  audio->Play(file);
  EXPECT_GT(audio->QueuedBytes(), first * 5);
  fs::remove(file);
  audio->Play(file);
  EXPECT_EQ(audio->QueuedBytes(), 0u);
}

TEST_F(SdlAudioTest, ClosedPlayerIsSilent) {
  const std::string file = Write("good.wav", WaveFile(1, 22050, 16, 22050));
  audio->Close();
  audio->Play(file);
  EXPECT_EQ(audio->QueuedBytes(), 0u);
  EXPECT_FALSE(audio->IsOpen());
}

}  // namespace
}  // namespace zorva
