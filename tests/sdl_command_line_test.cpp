#include "sdl/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace zorva {
namespace {

TEST(CommandLine, OptionsValuesAndMistakes) {
  using A = CommandLine::Action;
  const struct {
    std::vector<std::string_view> args;
    A action;
    bool fullscreen = false;
    int scale = 1;
    bool sound = true;
    std::string frameLog = "";
  } cases[] = {
      {{}, A::Play},
      {{"--fullscreen", "--scale", "3", "--no-sound"}, A::Play, true, 3, false},
      {{"--scale=16", "--frame-log", "f.txt"}, A::Play, false, 16, true, "f.txt"},
      {{"--frame-log=-x"}, A::Play, false, 1, true, "-x"},
      {{"--scale", "2", "--help"}, A::Help, false, 2},
      {{"--version", "-h"}, A::Help},
      {{"--version"}, A::Version},
      {{"--scale", "0"}, A::Error},
      {{"--scale", "17"}, A::Error},
      {{"--scale", "2x"}, A::Error},
      {{"--scale", ""}, A::Error},
      {{"--scale"}, A::Error},
      {{"--frame-log"}, A::Error},
      {{"--frame-log="}, A::Error},
      {{"--fullscreen=yes"}, A::Error},
      {{"--full"}, A::Error},
      {{"-x"}, A::Error},
      {{"game.cfg"}, A::Error},
      {{"--help", "--bogus"}, A::Error},  // a mistake is reported, even beside --help
      {{"--record", "a.zdm", "--play=b.zdm"}, A::Error},
      {{"--play"}, A::Error},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto a : c.args) shown += std::string(a) + " ";
    SCOPED_TRACE(shown);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.error.empty(), c.action != A::Error) << line.error;
    if (c.action == A::Error) continue;
    EXPECT_EQ(line.options.fullscreen, c.fullscreen);
    EXPECT_EQ(line.options.scale, c.scale);
    EXPECT_EQ(line.options.sound, c.sound);
    EXPECT_EQ(line.options.frameLog, c.frameLog);
  }
  // The help names every option and the sound file it was given.
  const std::string help = HelpText("/opt/zorva/効果音.wav");
  for (const char* word : {"--fullscreen", "--scale N", "--no-sound", "--frame-log FILE", "--record DEMO",
                           "--play DEMO", "--help", "--version", "SPACE", "LEFT", "/opt/zorva/効果音.wav"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_EQ(UsageLine().find('\n'), std::string::npos);
}

}  // namespace
}  // namespace zorva
