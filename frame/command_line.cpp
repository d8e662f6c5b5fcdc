#include "frame/command_line.h"

#include <optional>

#include "base/challenge.h"
#include "base/files.h"
#include "base/number.h"
#include "base/options.h"

#ifndef ZORVA_VERSION
#error "ZORVA_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace zorva {

namespace {

// Reads the option `options` stands on into `line`; why it cannot be read, or
// nothing.
std::string ReadOption(Options& options, CommandLine& line, bool& help, bool& version) {
  const std::string name(options.Name());
  const bool takesValue = name == "--scale" || name == "--frame-log" || name == "--record" || name == "--play" ||
                          name == "--frame" || name == "--challenge";
  if (!takesValue && options.Attached()) return "option " + name + " takes no value";
  std::string_view value;
  if (takesValue) {
    const std::optional<std::string_view> given = options.Value();
    if (!given) return "option " + name + " needs a value";
    value = *given;
  }
  if (name == "--help" || name == "-h") {
    help = true;
  } else if (name == "--version") {
    version = true;
  } else if (name == "--fullscreen") {
    line.options.fullscreen = true;
  } else if (name == "--no-sound") {
    line.options.sound = false;
  } else if (name == "--scale") {
    const std::optional<int> scale = WholeNumber(value, 1, kMaxScale);
    if (!scale) return "--scale needs a whole number from 1 to " + std::to_string(kMaxScale);
    line.options.scale = *scale;
  } else if (name == "--frame-log") {
    if (value.empty()) return "--frame-log needs a file name";
    line.options.frameLog = std::string(value);
  } else if (name == "--frame") {
    const std::optional<std::int64_t> frame = WholeNumber<std::int64_t>(value, 1, std::int64_t{1} << 40);
    if (!frame) return "--frame needs a frame number from 1 on";
    line.frame = *frame;
  } else if (name == "--challenge") {
    line.challenge = ChallengeSeed(value);
    if (!line.challenge) return "--challenge needs a challenge code, such as 7KQ-M2R-X4J";
  } else if (name == "--record" || name == "--play") {
    if (value.empty()) return name + " needs a file name";
    (name == "--record" ? line.record : line.play) = std::string(value);
    if (!line.record.empty() && !line.play.empty()) return "--record and --play do not go together";
  } else {
    return (name.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + name;
  }
  return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  CommandLine line;
  auto fail = [&line](std::string why) {
    line.action = CommandLine::Action::Error;
    line.error = std::move(why);
    return line;
  };
  bool help = false, version = false;
  Options options(args);
  while (options.Next()) {
    if (std::string why = ReadOption(options, line, help, version); !why.empty()) return fail(std::move(why));
  }
  if (line.frame > 0 && line.play.empty()) return fail("--frame goes with --play");
  if (line.challenge && !line.play.empty()) return fail("--challenge and --play do not go together");
  if (help) line.action = CommandLine::Action::Help;
  else if (version) line.action = CommandLine::Action::Version;
  // A file written over while it is read, or by two writers at once, is lost:
  // refused here, before anything is opened.
  const std::string& demo = line.play.empty() ? line.record : line.play;
  if (line.action == CommandLine::Action::Play && !demo.empty() && !line.options.frameLog.empty() &&
      SameFile(demo, line.options.frameLog)) {
    return fail("the frame log " + PrintablePath(demo) + " is the demo");
  }
  return line;
}

std::string UsageLine() {
  return "usage: zorva [--fullscreen] [--scale N] [--no-sound] [--frame-log FILE] [--challenge CODE] [--record DEMO | "
         "--play DEMO [--frame N]] [--help] [--version]";
}

std::string VersionText() { return std::string("zorva ") + ZORVA_VERSION; }

// The keys of the game and of a demo watched, as the help lists them.
static std::string KeysHelp() {
  return "Keys (they count only while the window has the keyboard focus):\n"
         "  SPACE             start a game; fire; leave the GAME OVER screen\n"
         "  LEFT, RIGHT       move the ship\n"
         "  Alt+Enter         fullscreen on and off\n"
         "  Escape            close the open menu; stop a demo playing back\n"
         "\n"
         "Watching a demo (--play):\n"
         "  SPACE or K        pause and resume\n"
         "  comma, period     one frame back, one frame on (paused)\n"
         "  LEFT, RIGHT       5 seconds back, on        J, L   30 seconds back, on\n"
         "  DOWN or [, UP or ]  slower, faster (1/4x to 16x, then as fast as it goes)\n"
         "  BACKSPACE         back to 1x\n"
         "  Page Up, Page Down  the game before, the next game\n"
         "  HOME, END         the demo's first frame, its last\n"
         "  the bar at the top  click or drag to go to that part of the demo\n"
         "  A gamepad: A or Start pauses, the d-pad goes 5 seconds back and on (left,\n"
         "  right) and changes the speed (down, up), the shoulders step a frame, X and\n"
         "  Y go to the game before and the next.\n"
         "  A gamepad works as well: the d-pad or the left stick moves the ship, any\n"
         "  face button or Start is SPACE.\n";
}

std::string HelpText(const std::string& soundFile) {
  return UsageLine() +
         "\n"
         "\n"
         "A small arcade shooter: steer the ship along the bottom, fire upward and\n"
         "clear wave after wave of the marching formation.\n"
         "\n"
         "Options:\n"
         "  --fullscreen      start in fullscreen (Alt+Enter switches back and forth)\n"
         "  --scale N         open the window at N times the picture's size, 1 to " +
         std::to_string(kMaxScale) +
         "\n"
         "                    (at most what fits the screen); it can still be resized\n"
         "  --no-sound        play no sound at all\n"
         "  --frame-log FILE  write one line per pass of the title screen or the game\n"
         "                    to FILE: the loop, the clock, WorkTime and FrameTime (ms)\n"
         "                    and whether WAIT was checked\n"
         "  --challenge CODE  a challenge run: every game starts from the seed of the\n"
         "                    challenge CODE (such as 7KQ-M2R-X4J, a hall of fame's\n"
         "                    week), not from the clock, so that everyone given the\n"
         "                    code plays the same games; everything else of the game\n"
         "                    is as always\n"
         "  --record DEMO     record every game of this run in the file DEMO\n"
         "  --play DEMO       play the games recorded in DEMO back, at their pace and\n"
         "                    with their sounds, then say whether each ended exactly\n"
         "                    as recorded; Escape or closing the window stops it\n"
         "  --frame N         with --play: start at frame N of the demo, paused\n"
         "  --help            show this help and exit\n"
         "  --version         show the version and exit\n"
         "\n" +
         KeysHelp() +
         "\n"
         "The menu OPTION -> WAIT (checked at every start) paces each game frame to\n"
         "31 ms, about 32 frames a second; unchecked, the game runs as fast as the\n"
         "machine allows. The title screen is never paced.\n"
         "\n"
         "The sound effect is read from\n"
         "  " +
         soundFile +
         "\n"
         "(the file 効果音.wav in the program's folder) each time something is\n"
         "destroyed; without it the game is silent.\n";
}

}  // namespace zorva
