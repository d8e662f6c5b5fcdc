// The wave reader: good files are read, anything else gives nothing, and no
// file is read out of bounds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/wav.h"
#include "base_sim_main.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutTag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct Fmt {
  unsigned format = 1, channels = 1;
  std::uint32_t rate = 22050;
  unsigned bits = 16;
  std::uint32_t size = 16;  // declared size of the fmt chunk
};

Bytes FmtChunk(const Fmt& f) {
  Bytes b;
  PutTag(b, "fmt ");
  Put32(b, f.size);
  Put16(b, f.format);
  Put16(b, f.channels);
  Put32(b, f.rate);
  const unsigned align = f.channels * (f.bits / 8);
  Put32(b, f.rate * align);
  Put16(b, align);
  Put16(b, f.bits);
  return b;
}

Bytes DataChunk(std::uint32_t declared, std::size_t actual, std::uint8_t seed = 1) {
  Bytes b;
  PutTag(b, "data");
  Put32(b, declared);
  for (std::size_t i = 0; i < actual; ++i) b.push_back(static_cast<std::uint8_t>(seed + i * 37));
  return b;
}

Bytes Riff(std::initializer_list<Bytes> chunks, const char* riff = "RIFF", const char* wave = "WAVE") {
  Bytes b;
  PutTag(b, riff);
  std::size_t n = 4;
  for (const Bytes& c : chunks) n += c.size();
  Put32(b, static_cast<std::uint32_t>(n));
  PutTag(b, wave);
  for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
  return b;
}

// A good 16-bit mono wave of 100 samples.
Bytes GoodWave() { return Riff({FmtChunk({}), DataChunk(200, 200)}); }

TEST(BaseWave, ReadsGoodFiles) {
  Bytes list;
  PutTag(list, "LIST");
  Put32(list, 5);
  for (int i = 0; i < 5; ++i) list.push_back('x');
  list.push_back(0);  // pad byte of the odd-sized chunk
  Fmt stereo8;
  stereo8.channels = 2;
  stereo8.bits = 8;
  stereo8.rate = 44100;
  Fmt longFmt;
  longFmt.size = 18;
  Bytes longFmtChunk = FmtChunk(longFmt);
  longFmtChunk.push_back(0);
  longFmtChunk.push_back(0);

  struct Case {
    const char* name;
    Bytes file;
    int channels, rate, bits;
    std::size_t dataBytes;
  };
  const Case cases[] = {
      {"16-bit mono", GoodWave(), 1, 22050, 16, 200},
      {"odd-sized chunk before the format", Riff({list, FmtChunk({}), DataChunk(200, 200)}), 1, 22050, 16, 200},
      {"8-bit stereo", Riff({FmtChunk(stereo8), DataChunk(64, 64)}), 2, 44100, 8, 64},
      {"longer format chunk", Riff({longFmtChunk, DataChunk(10, 10)}), 1, 22050, 16, 10},
      {"odd data size keeps whole samples", Riff({FmtChunk({}), DataChunk(201, 201)}), 1, 22050, 16, 200},
      {"data claiming more than is there", Riff({FmtChunk({}), DataChunk(0xFFFFFFFF, 50)}), 1, 22050, 16, 50},
      {"data claiming more, odd remainder", Riff({FmtChunk({}), DataChunk(1000, 51)}), 1, 22050, 16, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Wave> w = ParseWave(c.file);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->channels, c.channels);
    EXPECT_EQ(w->sampleRate, c.rate);
    EXPECT_EQ(w->bitsPerSample, c.bits);
    ASSERT_EQ(w->data.size(), c.dataBytes);
    EXPECT_EQ(w->data[0], 1);
    EXPECT_EQ(w->data[1], 38);
  }
}

TEST(BaseWave, RefusesWhatItCannotPlay) {
  auto withFmt = [](auto change) {
    Fmt f;
    change(f);
    return Riff({FmtChunk(f), DataChunk(200, 200)});
  };
  Bytes unknownHuge;
  PutTag(unknownHuge, "junk");
  Put32(unknownHuge, 0xFFFFFFFF);
  Bytes truncatedHeader = GoodWave();
  truncatedHeader.resize(20);
  Bytes fmtCut = GoodWave();
  fmtCut.resize(12 + 8 + 10);
  const Bytes good = GoodWave();
  Fmt shortFmt;
  shortFmt.size = 14;
  Bytes shortFmtLast = Riff({FmtChunk(shortFmt)});
  shortFmtLast.resize(shortFmtLast.size() - 2);  // the body is as short as it says
  Bytes randomBytes;
  for (std::uint32_t i = 0, x = 12345; i < 300; ++i) randomBytes.push_back(static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16));

  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"eleven bytes", Bytes(good.begin(), good.begin() + 11)},
      {"header only", Riff({})},
      {"random bytes", randomBytes},
      {"not RIFF", Riff({FmtChunk({}), DataChunk(200, 200)}, "RIFX")},
      {"not WAVE", Riff({FmtChunk({}), DataChunk(200, 200)}, "RIFF", "AVI ")},
      {"truncated header", truncatedHeader},
      {"format chunk cut off", fmtCut},
      {"format chunk too short", withFmt([](Fmt& f) { f.size = 14; })},
      {"short format chunk at the end", shortFmtLast},
      {"format chunk of absurd size", withFmt([](Fmt& f) { f.size = 0xFFFFFFFF; })},
      {"unknown chunk of absurd size", Riff({unknownHuge, FmtChunk({}), DataChunk(200, 200)})},
      {"data before format", Riff({DataChunk(200, 200), FmtChunk({})})},
      {"no data", Riff({FmtChunk({})})},
      {"empty data", Riff({FmtChunk({}), DataChunk(0, 0)})},
      {"less than one sample", Riff({FmtChunk({}), DataChunk(1, 1)})},
      {"not PCM", withFmt([](Fmt& f) { f.format = 3; })},
      {"extensible", withFmt([](Fmt& f) { f.format = 0xFFFE; })},
      {"no channels", withFmt([](Fmt& f) { f.channels = 0; })},
      {"three channels", withFmt([](Fmt& f) { f.channels = 3; })},
      {"65535 channels", withFmt([](Fmt& f) { f.channels = 0xFFFF; })},
      {"zero bits", withFmt([](Fmt& f) { f.bits = 0; })},
      {"24 bits", withFmt([](Fmt& f) { f.bits = 24; })},
      {"rate 0", withFmt([](Fmt& f) { f.rate = 0; })},
      {"absurd rate", withFmt([](Fmt& f) { f.rate = 0xFFFFFFFF; })},
  };
  for (const Case& c : cases) {
    const Bytes exact(c.file.begin(), c.file.end());  // no spare capacity to hide an overrun
    EXPECT_FALSE(ParseWave(exact).has_value()) << c.name;
  }

  // An image over the size limit is refused without being looked at.
  Bytes huge = GoodWave();
  huge.resize(kMaxWaveFileBytes + 1, 0);
  EXPECT_FALSE(ParseWave(huge).has_value());
}

TEST(BaseWave, DamagedFilesNeverReadOutOfBounds) {
  // Every prefix and every single damaged byte of a good file, with the data
  // held in an exactly sized buffer so that any overrun shows.
  const Bytes good = Riff({FmtChunk({}), DataChunk(40, 40)});
  auto check = [](const Bytes& file) {
    const std::vector<std::uint8_t> exact(file.begin(), file.end());
    const std::optional<Wave> w = ParseWave(std::span<const std::uint8_t>(exact.data(), exact.size()));
    if (w) {
      EXPECT_LE(w->data.size(), exact.size());
      EXPECT_GT(w->data.size(), 0u);
      EXPECT_EQ(w->data.size() % static_cast<std::size_t>(w->channels * w->bitsPerSample / 8), 0u);
    }
    return w.has_value();
  };
  int accepted = 0;
  for (std::size_t n = 0; n <= good.size(); ++n) accepted += check(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)));
  // A file cut inside its samples still plays the whole samples that are
  // there: the cuts after 2..40 of its 40 sample bytes.
  EXPECT_EQ(accepted, 39);
  for (std::size_t i = 0; i < good.size(); ++i)
    for (const std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
      Bytes bad = good;
      bad[i] = v;
      check(bad);
    }
  // Random buffers behind a valid header.
  std::uint32_t x = 99;
  for (int round = 0; round < 3000; ++round) {
    Bytes b = Riff({});
    const int len = static_cast<int>((x = x * 1664525u + 1013904223u) >> 24);
    for (int i = 0; i < len; ++i) b.push_back(static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24));
    if (round % 2 == 0 && b.size() >= 20) std::copy_n("fmt ", 4, b.begin() + 12);
    check(b);
  }
}

// A scratch folder for the files of one test, removed afterwards.
struct TempDir {
  TempDir() {
    path = fs::temp_directory_path() / ("zorva-wave-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST(BaseWave, LoadsOnlyPlayableFiles) {
  TempDir dir;
  const fs::path odd = dir.path / "a folder with spaces ゲーム ü";
  fs::create_directories(odd);
  WriteFile(odd / "効果音.wav", GoodWave());
  WriteFile(dir.path / "empty.wav", {});
  Bytes noise;
  for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<std::uint8_t>(i * 7919 >> 3));
  WriteFile(dir.path / "noise.wav", noise);
  WriteFile(dir.path / "text.wav", Bytes{'h', 'e', 'l', 'l', 'o'});
  {
    // 100 MB, almost all of it a hole; a good header in front.
    WriteFile(dir.path / "huge.wav", GoodWave());
    fs::resize_file(dir.path / "huge.wav", 100u * 1000u * 1000u);
  }
  fs::create_directories(dir.path / "folder.wav");
  ASSERT_EQ(::mkfifo((dir.path / "pipe.wav").c_str(), 0600), 0);  // would block a reader

  const std::optional<Wave> good = LoadWaveFile((odd / "効果音.wav").string());
  ASSERT_TRUE(good.has_value());
  EXPECT_EQ(good->data.size(), 200u);

  for (const char* name : {"missing.wav", "empty.wav", "noise.wav", "text.wav", "huge.wav", "folder.wav", "pipe.wav",
                           "missing folder/x.wav"})
    EXPECT_FALSE(LoadWaveFile((dir.path / name).string()).has_value()) << name;
  EXPECT_FALSE(LoadWaveFile("").has_value());

  // The simulated window records whether each play found a playable wave.
  SimMain m;
  sndPlaySoundA((odd / "効果音.wav").string(), SND_ASYNC | SND_NODEFAULT);
  sndPlaySoundA((dir.path / "huge.wav").string(), SND_ASYNC | SND_NODEFAULT);
  ASSERT_EQ(m.sim.Sounds().size(), 2u);
  EXPECT_TRUE(m.sim.Sounds()[0].played);
  EXPECT_FALSE(m.sim.Sounds()[1].played);
}

}  // namespace
}  // namespace zorva
