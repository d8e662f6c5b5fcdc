// The command line of the real game: zorva [--fullscreen] [--scale N]
// [--no-sound] [--frame-log FILE] [--challenge CODE] [--record DEMO | --play
// DEMO [--frame N]] [--help] [--version].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorva {

// How the real window starts. None of it changes the game's rules.
struct WindowOptions {
  bool fullscreen = false;
  int scale = 1;          // the window starts at this whole multiple of the picture
  bool sound = true;      // false: no audio device is opened, the game is silent
  std::string frameLog;   // when set, each pass's WorkTime and FrameTime are written here
  bool playback = false;  // the window shows a demo played back: the playback's bar in the menu's place
};

// The largest starting multiple --scale accepts.
inline constexpr int kMaxScale = 16;

struct CommandLine {
  enum class Action { Play, Help, Version, Error };
  Action action = Action::Play;
  WindowOptions options;
  std::string record;      // a demo to record every game of the run in
  std::string play;        // a demo to play back instead of the title screen
  std::int64_t frame = 0;  // with play: the frame of the demo to start at, paused (0: the first, playing)
  std::optional<std::uint64_t> challenge;  // a challenge run: the seed of every game
  std::string error;                       // for Error: what was wrong, without the program's name
};

// Reads the arguments after the program's name. Every option may be given as
// "--name VALUE" or "--name=VALUE"; --help and --version win over the rest.
// A frame log that is the demo played or recorded (however either is spelt)
// is an error.
CommandLine ParseCommandLine(const std::vector<std::string_view>& args);

// "usage: zorva [--fullscreen] ...", without a line end.
std::string UsageLine();
// The text of --help: the options, the keys and where the sound is read from.
std::string HelpText(const std::string& soundFile);
// The text of --version: "zorva 1.0".
std::string VersionText();

}  // namespace zorva
