// Broken and hostile sound effect files in the program's folder: the game
// loads the file on every hit and plays on exactly as with a good file, only
// silently where the file cannot be played.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_window.h"
#include "tests/file_support.h"
#include "tests/replay_support.h"

namespace zorva {
namespace {

const char* const kSoundName = "効果音.wav";

struct GameRun {
  Replay replay;
  std::vector<SimWindow::SoundPlay> plays;  // every play but the closing pass's
};

// A short game with SPACE held: the ship shoots enemies down as the formation
// marches over it.
GameRun ShortGame(const fs::path& folder) {
  GameRun run;
  SimOptions options = Seeded(1);
  options.exeFolder = folder.string();
  options.afterPass = [&run](Loop, bool) { run.plays = dynamic_cast<SimWindow&>(*Main).Sounds(); };
  run.replay = RunScript("1 tap:SPACE\n120 SPACE\n", options);
  return run;
}

TEST(HostileSound, GamePlaysOnToTheSameResult) {
  const Bytes good = ReadBytes(fs::path(ZORVA_SOURCE_DIR) / "assets" / fs::path(kSoundName));
  ASSERT_GT(good.size(), 1000u);
  Bytes noise(64 * 1024);
  std::uint32_t x = 17;
  for (auto& b : noise) b = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  Bytes absurdHeader = good;  // RIFF size and the format chunk's size 0xFFFFFFFF
  std::fill_n(absurdHeader.begin() + 4, 4, 0xFF);
  std::fill_n(absurdHeader.begin() + 16, 4, 0xFF);
  const struct {
    const char* name;
    const char* folder;
    Bytes bytes;  // written as the sound file unless empty
    bool played;
    bool directory = false, hundredMegabytes = false;
  } cases[] = {
      {"good", "plain", good, true},
      {"good, in a folder with spaces and non-ASCII", "サウンド フォルダ é", good, true},
      {"cut inside its samples", "plain", Bytes(good.begin(), good.end() - 1001), true},
      {"missing, in a folder with spaces and non-ASCII", "効果 音 ü", {}, false},
      {"a directory", "plain", {}, false, true},
      {"random bytes", "音 の フォルダ", noise, false},
      {"absurd header sizes", "plain", absurdHeader, false},
      {"100 MB", "plain", good, false, false, true},
  };
  GameRun reference;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp("hostile-sound");
    const fs::path folder = temp.path / fs::path(c.folder), file = folder / fs::path(kSoundName);
    fs::create_directories(c.directory ? file : folder);
    if (!c.bytes.empty()) WriteBytes(file, c.bytes);
    if (c.hundredMegabytes) fs::resize_file(file, 100u * 1024u * 1024u);

    const GameRun run = ShortGame(folder);
    if (reference.plays.empty()) reference = run;
    ASSERT_FALSE(run.plays.empty());  // something was destroyed, so the sound was asked for
    EXPECT_GT(run.replay.records.back().Int("Score"), 0);
    // The same game to the bit: every record, picture and sound request.
    EXPECT_EQ(run.replay.dump, reference.replay.dump);
    EXPECT_EQ(run.plays.size(), reference.plays.size());
    for (const SimWindow::SoundPlay& p : run.plays) {
      EXPECT_EQ(p.file, folder.string() + "/" + kSoundName);
      EXPECT_EQ(p.flags, SND_ASYNC | SND_NODEFAULT);
      EXPECT_EQ(p.played, c.played);
    }
  }
}

}  // namespace
}  // namespace zorva
