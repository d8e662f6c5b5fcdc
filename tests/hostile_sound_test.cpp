// Broken and hostile sound effect files in the program's folder: the game
// loads the file on every hit and must play on exactly as with a good file,
// only silently, without crashing and without holding up a frame.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/wav.h"
#include "sim/sim_window.h"
#include "tests/replay_support.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const char* const kSoundName = "効果音.wav";

Bytes GoodSound() {
  std::ifstream in(fs::path(ZORVA_SOURCE_DIR) / "assets" / fs::path(kSoundName), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Offset of a chunk's tag in a RIFF file, walking the chunks from the top.
std::size_t ChunkAt(const Bytes& b, const char* tag) {
  std::size_t pos = 12;
  while (pos + 8 <= b.size()) {
    if (std::equal(tag, tag + 4, b.begin() + static_cast<std::ptrdiff_t>(pos))) return pos;
    const std::uint32_t size = b[pos + 4] | (b[pos + 5] << 8) | (b[pos + 6] << 16) | (std::uint32_t{b[pos + 7]} << 24);
    pos += 8 + size + (size & 1);
  }
  return b.size();
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<std::uint8_t>(seed >> 24);
  }
  return b;
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A folder of its own for one case, removed afterwards.
struct TempFolder {
  explicit TempFolder(const std::string& name) {
    path = fs::temp_directory_path() / fs::path("zorva-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  fs::path path;
};

// How the sound effect file of a case is made.
enum class Make {
  Nothing, NoFolder, Empty, Directory, Fifo, Bytes, SparseHundredMegabytes, DanglingLink, LinkToGood,
};

struct SoundCase {
  const char* name;
  Make make;
  Bytes bytes;       // for Make::Bytes
  bool played;       // whether the game's loads find a playable wave
  const char* folder = "plain";
};

// Cases print as their names.
void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

std::vector<SoundCase> Cases() {
  const Bytes good = GoodSound();
  const std::size_t fmt = ChunkAt(good, "fmt ");
  const std::size_t data = ChunkAt(good, "data");

  Bytes noise = RandomBytes(64 * 1024, 17);
  noise[0] = 'X';
  Bytes riffNoise = RandomBytes(4096, 99);
  std::copy(good.begin(), good.begin() + 12, riffNoise.begin());
  Bytes cutInHeader(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(fmt + 12));
  Bytes cutInSamples(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(data + 8 + 1001));
  Bytes hugeFmt = good;
  Put32(hugeFmt, fmt + 4, 0xFFFFFFFFu);
  Bytes hugeRiffAndData = good;
  Put32(hugeRiffAndData, 4, 0xFFFFFFFFu);
  Put32(hugeRiffAndData, data + 4, 0xFFFFFFFFu);
  Bytes hugeChunkFirst(good.begin(), good.begin() + 12);
  const char list[8] = {'L', 'I', 'S', 'T', '\xFF', '\xFF', '\xFF', '\xFF'};
  hugeChunkFirst.insert(hugeChunkFirst.end(), list, list + 8);
  hugeChunkFirst.insert(hugeChunkFirst.end(), good.begin() + 12, good.end());
  Bytes noSamples(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(data + 8));
  Put32(noSamples, data + 4, 0);

  return {
      {"Good", Make::Bytes, good, true},
      {"GoodInAFolderWithSpacesAndNonAscii", Make::Bytes, good, true, "サウンド フォルダ é"},
      {"SymbolicLinkToAGoodFile", Make::LinkToGood, {}, true},
      {"Missing", Make::Nothing, {}, false},
      {"MissingInAFolderWithSpacesAndNonAscii", Make::Nothing, {}, false, "効果 音 ü"},
      {"FolderMissing", Make::NoFolder, {}, false},
      {"Empty", Make::Empty, {}, false},
      {"ADirectory", Make::Directory, {}, false},
      {"ANamedPipe", Make::Fifo, {}, false},
      {"DanglingSymbolicLink", Make::DanglingLink, {}, false},
      {"RandomBytes", Make::Bytes, noise, false},
      {"RandomBytesInAFolderWithSpacesAndNonAscii", Make::Bytes, noise, false, "音 の フォルダ"},
      {"RiffHeaderThenRandomBytes", Make::Bytes, riffNoise, false},
      {"TruncatedInTheFormatChunk", Make::Bytes, cutInHeader, false},
      {"NoSamples", Make::Bytes, noSamples, false},
      {"FormatChunkSizeFFFFFFFF", Make::Bytes, hugeFmt, false},
      {"ChunkOfSizeFFFFFFFFBeforeTheFormat", Make::Bytes, hugeChunkFirst, false},
      {"HundredMegabyteSparseFile", Make::SparseHundredMegabytes, good, false},
      // A wave cut short, or one whose RIFF and data sizes claim 4 GB, still
      // holds whole samples after a good header: the samples there are played.
      {"TruncatedInTheSamples", Make::Bytes, cutInSamples, true},
      {"RiffAndDataSizesFFFFFFFF", Make::Bytes, hugeRiffAndData, true},
  };
}

// Puts the case's sound effect into the folder; returns the folder the game
// is told it runs from.
fs::path Prepare(const SoundCase& c, const fs::path& folder) {
  const fs::path file = folder / fs::path(kSoundName);
  switch (c.make) {
    case Make::Nothing:
      break;
    case Make::NoFolder:
      return folder / "not-there";
    case Make::Empty:
      WriteFile(file, {});
      break;
    case Make::Directory:
      fs::create_directory(file);
      WriteFile(file / "inside", GoodSound());
      break;
    case Make::Fifo:
      EXPECT_EQ(::mkfifo(file.c_str(), 0600), 0);
      break;
    case Make::Bytes:
      WriteFile(file, c.bytes);
      break;
    case Make::SparseHundredMegabytes:
      // A real wave at the front, then 100 MB of holes.
      WriteFile(file, c.bytes);
      EXPECT_EQ(::truncate(file.c_str(), 100 * 1024 * 1024), 0);
      EXPECT_EQ(fs::file_size(file), 100u * 1024u * 1024u);
      break;
    case Make::DanglingLink:
      fs::create_symlink(folder / "gone.wav", file);
      break;
    case Make::LinkToGood:
      WriteFile(folder / "real.wav", GoodSound());
      fs::create_symlink(folder / "real.wav", file);
      break;
  }
  return folder;
}

struct GameRun {
  Replay replay;
  std::vector<SimWindow::SoundPlay> plays;  // every play but the closing pass's
};

// A short game with SPACE held: the ship shoots enemies down as the formation
// marches over it.
GameRun ShortGame(const fs::path& folder) {
  GameRun run;
  SimOptions options;
  options.seed = 1;
  options.exeFolder = folder.string();
  options.afterPass = [&run](Loop, bool) { run.plays = dynamic_cast<SimWindow&>(*Main).Sounds(); };
  run.replay = RunScript("1 tap:SPACE\n120 SPACE\n", options);
  return run;
}

const GameRun& Reference() {
  static const GameRun reference = [] {
    TempFolder folder("reference");
    WriteFile(folder.path / fs::path(kSoundName), GoodSound());
    return ShortGame(folder.path);
  }();
  return reference;
}

class HostileSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(HostileSound, GamePlaysOnToTheSameResult) {
  const SoundCase& c = GetParam();
  TempFolder temp(std::string(c.name) + "-" + c.folder);
  const fs::path folder = temp.path / fs::path(c.folder);
  fs::create_directories(folder);
  const fs::path gameFolder = Prepare(c, folder);

  // The loader itself, on the file as the game names it: the right answer,
  // and quickly, since it runs in the middle of a frame.
  const std::string file = gameFolder.string() + "/" + kSoundName;
  double slowestMs = 0;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadWaveFile(file).has_value(), c.played);
    slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  EXPECT_LT(slowestMs, 25.0) << "one load of the sound effect";

  const GameRun run = ShortGame(gameFolder);
  const GameRun& ref = Reference();
  // Something was destroyed, so the sound was asked for.
  ASSERT_FALSE(run.plays.empty());
  EXPECT_GT(run.replay.records.back().Int("Score"), 0);
  // The same game to the bit: every record, picture and sound request.
  EXPECT_EQ(run.replay.dump, ref.replay.dump);
  EXPECT_EQ(run.replay.result.frames, ref.replay.result.frames);
  ASSERT_EQ(run.plays.size(), ref.plays.size());
  std::int64_t requested = 0;
  for (const Record& r : run.replay.records)
    if (!r.Bool("closed")) requested += r.Int("sounds");
  EXPECT_EQ(static_cast<std::int64_t>(run.plays.size()), requested);
  for (const SimWindow::SoundPlay& p : run.plays) {
    EXPECT_EQ(p.file, file);
    EXPECT_EQ(p.flags, SND_ASYNC | SND_NODEFAULT);
    EXPECT_EQ(p.played, c.played);
  }
}

INSTANTIATE_TEST_SUITE_P(SoundFile, HostileSound, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<SoundCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorva
