// The wave reader: good files are read, anything else gives nothing, quickly,
// and no file is read out of bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/wav.h"
#include "tests/base_sim_main.h"
#include "tests/file_support.h"

namespace zorva {
namespace {

void Put(Bytes& b, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutTag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct Fmt {
  std::uint32_t format = 1, channels = 1, rate = 22050, bits = 16, size = 16;  // size: as declared
};

Bytes FmtChunk(const Fmt& f) {
  Bytes b;
  PutTag(b, "fmt ");
  Put(b, f.size, 4);
  Put(b, f.format, 2);
  Put(b, f.channels, 2);
  Put(b, f.rate, 4);
  Put(b, f.rate * f.channels * (f.bits / 8), 4);
  Put(b, f.channels * (f.bits / 8), 2);
  Put(b, f.bits, 2);
  return b;
}

Bytes Chunk(const char* tag, std::uint32_t declared, std::size_t actual) {
  Bytes b;
  PutTag(b, tag);
  Put(b, declared, 4);
  for (std::size_t i = 0; i < actual; ++i) b.push_back(static_cast<std::uint8_t>(1 + i * 37));
  return b;
}
Bytes Data(std::uint32_t declared, std::size_t actual) { return Chunk("data", declared, actual); }

Bytes Riff(std::initializer_list<Bytes> chunks, const char* riff = "RIFF", const char* wave = "WAVE") {
  Bytes b;
  PutTag(b, riff);
  std::size_t n = 4;
  for (const Bytes& c : chunks) n += c.size();
  Put(b, static_cast<std::uint32_t>(n), 4);
  PutTag(b, wave);
  for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
  return b;
}

Bytes GoodWave() { return Riff({FmtChunk({}), Data(200, 200)}); }  // 100 samples, 16-bit mono

Bytes WithFmt(Fmt f) { return Riff({FmtChunk(f), Data(200, 200)}); }

Bytes Cut(Bytes b, std::size_t n) {
  b.resize(n);
  return b;
}

TEST(BaseWave, ReadsGoodFiles) {
  Bytes list = Chunk("LIST", 5, 5);
  list.push_back(0);  // pad byte of the odd-sized chunk
  Bytes longFmt = FmtChunk({.size = 18});
  Put(longFmt, 0, 2);
  const struct {
    const char* name;
    Bytes file;
    int channels, rate, bits;
    std::size_t dataBytes;
  } cases[] = {
      {"16-bit mono", GoodWave(), 1, 22050, 16, 200},
      {"odd-sized chunk before the format", Riff({list, FmtChunk({}), Data(200, 200)}), 1, 22050, 16, 200},
      {"8-bit stereo", Riff({FmtChunk({.channels = 2, .rate = 44100, .bits = 8}), Data(64, 64)}), 2, 44100, 8, 64},
      {"longer format chunk", Riff({longFmt, Data(10, 10)}), 1, 22050, 16, 10},
      {"odd data size keeps whole samples", Riff({FmtChunk({}), Data(201, 201)}), 1, 22050, 16, 200},
      {"data claiming more than is there", Riff({FmtChunk({}), Data(0xFFFFFFFF, 50)}), 1, 22050, 16, 50},
      {"data claiming more, odd remainder", Riff({FmtChunk({}), Data(1000, 51)}), 1, 22050, 16, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Wave> w = ParseWave(c.file);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->channels, c.channels);
    EXPECT_EQ(w->sampleRate, c.rate);
    EXPECT_EQ(w->bitsPerSample, c.bits);
    ASSERT_EQ(w->data.size(), c.dataBytes);
    EXPECT_EQ(w->data[1], 38);
  }
}

TEST(BaseWave, RefusesWhatItCannotPlay) {
  Bytes shortFmtLast = Riff({FmtChunk({.size = 14})});
  shortFmtLast.resize(shortFmtLast.size() - 2);  // the body is as short as it says
  Bytes noise;
  for (std::uint32_t i = 0, x = 12345; i < 300; ++i) noise.push_back(static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16));
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"eleven bytes", Cut(GoodWave(), 11)},
      {"header only", Riff({})},
      {"random bytes", noise},
      {"not RIFF", Riff({FmtChunk({}), Data(200, 200)}, "RIFX")},
      {"not WAVE", Riff({FmtChunk({}), Data(200, 200)}, "RIFF", "AVI ")},
      {"truncated header", Cut(GoodWave(), 20)},
      {"format chunk cut off", Cut(GoodWave(), 30)},
      {"format chunk too short", WithFmt({.size = 14})},
      {"short format chunk at the end", shortFmtLast},
      {"format chunk of absurd size", WithFmt({.size = 0xFFFFFFFF})},
      {"unknown chunk of absurd size", Riff({Chunk("junk", 0xFFFFFFFF, 0), FmtChunk({}), Data(200, 200)})},
      {"data before format", Riff({Data(200, 200), FmtChunk({})})},
      {"no data", Riff({FmtChunk({})})},
      {"empty data", Riff({FmtChunk({}), Data(0, 0)})},
      {"less than one sample", Riff({FmtChunk({}), Data(1, 1)})},
      {"not PCM", WithFmt({.format = 3})},
      {"extensible", WithFmt({.format = 0xFFFE})},
      {"no channels", WithFmt({.channels = 0})},
      {"three channels", WithFmt({.channels = 3})},
      {"65535 channels", WithFmt({.channels = 0xFFFF})},
      {"zero bits", WithFmt({.bits = 0})},
      {"24 bits", WithFmt({.bits = 24})},
      {"rate 0", WithFmt({.rate = 0})},
      {"absurd rate", WithFmt({.rate = 0xFFFFFFFF})},
      {"over the size limit", Cut(GoodWave(), kMaxWaveFileBytes + 1)},
  };
  for (const auto& c : cases) EXPECT_FALSE(ParseWave(c.file).has_value()) << c.name;
}

TEST(BaseWave, ACutFilePlaysTheWholeSamplesItHolds) {
  // Every prefix of a good file, in an exactly sized buffer so that an
  // overrun shows: the cuts after 2..40 of its 40 sample bytes play.
  const Bytes good = Riff({FmtChunk({}), Data(40, 40)});
  int accepted = 0;
  for (std::size_t n = 0; n <= good.size(); ++n) {
    const std::optional<Wave> w = ParseWave(Cut(good, n));
    if (!w) continue;
    ++accepted;
    EXPECT_EQ(w->data.size(), (n - 44) / 2 * 2) << n;
  }
  EXPECT_EQ(accepted, 39);
}

TEST(BaseWave, LoadsOnlyPlayableFilesAndQuickly) {
  TempDir dir("wave");
  const fs::path odd = dir.path / "a folder with spaces ゲーム ü";
  fs::create_directories(odd);
  const std::string good = WriteBytes(odd / "効果音.wav", GoodWave());
  WriteBytes(dir.path / "empty.wav", {});
  WriteBytes(dir.path / "text.wav", Bytes{'h', 'e', 'l', 'l', 'o'});
  WriteBytes(dir.path / "huge.wav", GoodWave());  // a good header, then 100 MB of hole
  fs::resize_file(dir.path / "huge.wav", 100u * 1000u * 1000u);
  fs::create_directories(dir.path / "folder.wav");
  ASSERT_EQ(::mkfifo((dir.path / "pipe.wav").c_str(), 0600), 0);  // would block a reader
  fs::create_symlink(dir.path / "gone.wav", dir.path / "dangling.wav");
  fs::create_symlink(good, dir.path / "link.wav");
  const struct {
    std::string file;
    bool played;
  } cases[] = {{good, true}, {(dir.path / "link.wav").string(), true}, {"", false}};
  SimMain m;  // the simulated window plays through the same loader
  auto check = [&](const std::string& file, bool played) {
    SCOPED_TRACE(file);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadWaveFile(file).has_value(), played);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));  // it runs mid-frame
    sndPlaySoundA(file, SND_ASYNC | SND_NODEFAULT);
    EXPECT_EQ(m.sim.Sounds().back().played, played);
  };
  for (const auto& c : cases) check(c.file, c.played);
  for (const char* name : {"missing.wav", "missing folder/x.wav", "empty.wav", "text.wav", "huge.wav", "folder.wav",
                           "pipe.wav", "dangling.wav"})
    check((dir.path / name).string(), false);
}

}  // namespace
}  // namespace zorva
