#include "frame/command_line.h"

#include <optional>

#include "base/files.h"
#include "base/number.h"

#ifndef ZORVA_VERSION
#error "ZORVA_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace zorva {

CommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  CommandLine line;
  bool help = false, version = false;
  auto fail = [&line](std::string why) {
    line.action = CommandLine::Action::Error;
    line.error = std::move(why);
    return line;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> attached;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string_view::npos) {
      attached = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const bool takesValue = name == "--scale" || name == "--frame-log" || name == "--record" || name == "--play";
    if (!takesValue && attached) return fail("option " + std::string(name) + " takes no value");
    std::string_view value;
    if (takesValue) {
      if (attached) {
        value = *attached;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail("option " + std::string(name) + " needs a value");
      }
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
      if (!scale) return fail("--scale needs a whole number from 1 to " + std::to_string(kMaxScale));
      line.options.scale = *scale;
    } else if (name == "--frame-log") {
      if (value.empty()) return fail("--frame-log needs a file name");
      line.options.frameLog = std::string(value);
    } else if (name == "--record" || name == "--play") {
      if (value.empty()) return fail(std::string(name) + " needs a file name");
      (name == "--record" ? line.record : line.play) = std::string(value);
      if (!line.record.empty() && !line.play.empty()) return fail("--record and --play do not go together");
    } else {
      return fail((name.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + std::string(name));
    }
  }
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
  return "usage: zorva [--fullscreen] [--scale N] [--no-sound] [--frame-log FILE] [--record DEMO | --play DEMO] "
         "[--help] [--version]";
}

std::string VersionText() { return std::string("zorva ") + ZORVA_VERSION; }

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
         "  --record DEMO     record every game of this run in the file DEMO\n"
         "  --play DEMO       play the games recorded in DEMO back, at their pace and\n"
         "                    with their sounds, then say whether each ended exactly\n"
         "                    as recorded; Escape or closing the window stops it\n"
         "  --help            show this help and exit\n"
         "  --version         show the version and exit\n"
         "\n"
         "Keys (they count only while the window has the keyboard focus):\n"
         "  SPACE             start a game; fire; leave the GAME OVER screen\n"
         "  LEFT, RIGHT       move the ship\n"
         "  Alt+Enter         fullscreen on and off\n"
         "  Escape            close the open menu; stop a demo playing back\n"
         "  A gamepad works as well: the d-pad or the left stick moves the ship, any\n"
         "  face button or Start is SPACE.\n"
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
