#include "frame/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace zorva {
namespace {

// What a command line comes to: the action, then --fullscreen, --scale, the sound, --frame-log, --record and --play.
using Parsed = std::tuple<std::string, bool, int, bool, std::string, std::string, std::string>;

Parsed Parse(const std::vector<std::string_view>& args) {
  const CommandLine c = ParseCommandLine(args);
  if (c.action == CommandLine::Action::Error) return {c.error.empty() ? "error without a why" : "error", false, 0, false, "", "", ""};
  const WindowOptions& o = c.options;
  const char* actions[] = {"play", "help", "version"};
  return {actions[static_cast<int>(c.action)], o.fullscreen, o.scale, o.sound, o.frameLog, c.record, c.play};
}

TEST(CommandLine, OptionsValuesAndMistakes) {
  const Parsed error{"error", false, 0, false, "", "", ""};
  const std::pair<std::vector<std::string_view>, Parsed> cases[] = {
      {{}, {"play", false, 1, true, "", "", ""}},
      {{"--fullscreen", "--scale", "3", "--no-sound"}, {"play", true, 3, false, "", "", ""}},
      {{"--scale=16", "--frame-log", "f.txt"}, {"play", false, 16, true, "f.txt", "", ""}},
      {{"--frame-log=-x", "--record", "a.zdm"}, {"play", false, 1, true, "-x", "a.zdm", ""}},
      {{"--play=b.zdm"}, {"play", false, 1, true, "", "", "b.zdm"}},
      {{"--scale", "2", "--help"}, {"help", false, 2, true, "", "", ""}},
      {{"--version", "-h"}, {"help", false, 1, true, "", "", ""}},
      {{"--version"}, {"version", false, 1, true, "", "", ""}},
      {{"--help", "--bogus"}, error}, {{"--scale", "0"}, error}, {{"--scale", "17"}, error}, {{"--scale", "2x"}, error},
      {{"--scale"}, error}, {{"--frame-log="}, error}, {{"--fullscreen=yes"}, error}, {{"--full"}, error}, {{"-x"}, error},
      {{"game.cfg"}, error}, {{"--record", "a.zdm", "--play=b.zdm"}, error}, {{"--play"}, error},
      {{"--frame-log", "d.zdm", "--play", "./d.zdm"}, error}, {{"--record=d.zdm", "--frame-log=d.zdm"}, error},  // the demo
  };
  for (const auto& [args, expected] : cases) {
    std::string shown;
    for (const auto a : args) shown += " " + std::string(a);
    EXPECT_EQ(Parse(args), expected) << "zorva" << shown;
  }
  // A challenge: the seed of its code, for a run played or recorded, not for a demo played back.
  const std::pair<std::vector<std::string_view>, std::string> challenges[] = {
      {{"--challenge", "000-000-011"}, "seed 1"}, {{"--record=a.zdm", "--challenge=zzz-zzz-zz0"}, "seed 1099511627775"},
      {{"--challenge", "000-000-012"}, "error"},  {{"--challenge"}, "error"}, {{"--challenge", "000-000-011", "--play", "b.zdm"}, "error"},
  };
  for (const auto& [args, expected] : challenges) {
    const CommandLine c = ParseCommandLine(args);
    EXPECT_EQ(c.action == CommandLine::Action::Error ? "error" : "seed " + std::to_string(c.challenge.value_or(0)), expected) << args[0];
  }
  const std::string help = HelpText("/opt/zorva/効果音.wav");
  for (const char* word : {"--fullscreen", "--scale N", "--no-sound", "--frame-log FILE", "--challenge CODE", "--record DEMO", "--play DEMO",
                           "--version", "SPACE", "LEFT", "gamepad", "/opt/zorva/効果音.wav"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace zorva
