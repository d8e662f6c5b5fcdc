#include "frame/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace zorva {
namespace {

TEST(CommandLine, OptionsValuesAndMistakes) {
  // The arguments, then the action and the options that come of them.
  const std::pair<std::vector<std::string_view>, std::string> cases[] = {
      {{}, "0 0 1 1 "}, {{"--fullscreen", "--scale", "3", "--no-sound"}, "0 1 3 0 "},
      {{"--scale=16", "--frame-log", "f.txt"}, "0 0 16 1 f.txt"}, {{"--frame-log=-x"}, "0 0 1 1 -x"},
      {{"--scale", "2", "--help"}, "1 0 2 1 "}, {{"--version", "-h"}, "1 0 1 1 "}, {{"--version"}, "2 0 1 1 "},
      {{"--help", "--bogus"}, "error"}, {{"--scale", "0"}, "error"}, {{"--scale", "17"}, "error"},
      {{"--scale", "2x"}, "error"}, {{"--scale"}, "error"}, {{"--frame-log="}, "error"},
      {{"--fullscreen=yes"}, "error"}, {{"--full"}, "error"}, {{"-x"}, "error"}, {{"game.cfg"}, "error"},
      {{"--record", "a.zdm", "--play=b.zdm"}, "error"}, {{"--play"}, "error"},
  };
  for (const auto& [args, expected] : cases) {
    const CommandLine c = ParseCommandLine(args);
    const WindowOptions& o = c.options;
    EXPECT_EQ(c.action == CommandLine::Action::Error
                  ? (c.error.empty() ? "error without a why" : "error")
                  : std::to_string(static_cast<int>(c.action)) + " " + std::to_string(o.fullscreen) + " " +
                        std::to_string(o.scale) + " " + std::to_string(o.sound) + " " + o.frameLog,
              expected)
        << args.size() << " arguments";
  }
  const std::string help = HelpText("/opt/zorva/効果音.wav");
  for (const char* word : {"--fullscreen", "--scale N", "--no-sound", "--frame-log FILE", "--record DEMO", "--play DEMO",
                           "--version", "SPACE", "LEFT", "gamepad", "/opt/zorva/効果音.wav"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace zorva
