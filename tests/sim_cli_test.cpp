// zorva-sim: key scripts, golden replays, options and errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "sim/script.h"
#include "tests/file_support.h"

namespace zorva {
namespace {

struct ShellRun {
  int status = -1;
  std::string out;
};

// Runs a shell command and collects its standard output (and standard error
// with `withErrors`).
ShellRun Shell(const std::string& command, bool withErrors = false) {
  ShellRun run;
  FILE* pipe = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 65536> buf{};
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;) run.out.append(buf.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

const std::string kSim = std::string("'") + ZORVA_BINARY_DIR + "/zorva-sim'";

TEST(Script, ReadsEveryToken) {
  const auto lines = ParseScript("# a comment\n\n3 LEFT RIGHT SPACE\n  1   tap:LEFT\ttap:RIGHT tap:SPACE  \r\n"
                                 "2 wait close work=31\n1 -");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].lineNumber, 3);
  EXPECT_EQ(lines[0].count, 3);
  EXPECT_TRUE(lines[0].holdLeft && lines[0].holdRight && lines[0].holdSpace);
  EXPECT_FALSE(lines[0].tapLeft || lines[0].clickWait || lines[0].work);
  EXPECT_TRUE(lines[1].tapLeft && lines[1].tapRight && lines[1].tapSpace && !lines[1].holdLeft);
  EXPECT_TRUE(lines[2].clickWait && lines[2].close && lines[2].work == 31);
  EXPECT_EQ(lines[3].lineNumber, 6);
  EXPECT_FALSE(lines[3].holdSpace || lines[3].tapSpace);
  EXPECT_TRUE(ParseScript("\n\n# only comments\n").empty());
}

TEST(Script, BadLinesNameTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"0 -", "script line 1: expected a pass count"}, {"-1 -", "expected a pass count"},
      {"1", "script line 1: expected at least one token"}, {"1 -\n\n2 space", "script line 3: unknown token \"space\""},
      {"1 tap:DOWN", "unknown token \"tap:DOWN\""}, {"1 work=", "script line 1: work needs"}, {"1 work=-5", "work needs"},
      {"1 work=99999999999999999999", "work needs"}, {"99999999999999999999 -", "expected a pass count"},
      {"1x -", "expected a pass count"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ParseScript(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ScriptError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

// Each tests/golden/NAME.script starts with "# zorva-sim OPTIONS"; its dump
// must match NAME.jsonl byte for byte.
TEST(SimCli, GoldenReplaysMatchByteForByte) {
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(ZORVA_SOURCE_DIR) / "tests" / "golden")) {
    if (entry.path().extension() != ".script") continue;
    std::ifstream in(entry.path());
    std::string first;
    std::getline(in, first);
    ASSERT_EQ(first.rfind("# zorva-sim", 0), 0u) << entry.path();
    const ShellRun run = Shell(kSim + first.substr(11) + " --dump - '" + entry.path().string() + "'");
    ASSERT_EQ(run.status, 0) << entry.path();
    const Bytes expected = ReadBytes(fs::path(entry.path()).replace_extension(".jsonl"));
    EXPECT_TRUE(run.out == std::string(expected.begin(), expected.end()))
        << entry.path().filename() << " differs from its recorded dump; if intended, record it again with `make golden`";
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

TEST(SimCli, BadOptionsAndScriptLinesExitWithStatusTwo) {
  const char* const cases[][3] = {
      {"--frobnicate", "1 -\n", "unknown option"}, {"--work", "", "--work needs"}, {"--work -3", "1 -\n", "--work needs"},
      {"--clock x", "1 -\n", "--clock needs"}, {"--png-every 0", "1 -\n", "--png-every needs"},
      {"", "# fine\n\n2 LEFT\n3 JUMP\n", "script line 4: unknown token \"JUMP\""},
  };
  for (const auto& c : cases) {
    const ShellRun run = Shell(std::string("printf '") + c[1] + "' | " + kSim + " " + c[0] + " -", true);
    EXPECT_EQ(run.status, 2) << c[0] << " / " << c[1];
    EXPECT_NE(run.out.find(c[2]), std::string::npos) << run.out;
  }
}

TEST(SimCli, SameScriptSameBytesAndPngsOfTheCanvas) {
  TempDir dir("sim-png");
  const std::string script = "printf '1 SPACE\\n12 SPACE RIGHT\\n' | ";
  const ShellRun a = Shell(script + kSim + " --seed 4 --dump - --png '" + dir.path.string() + "' --png-every 5 -");
  const ShellRun b = Shell(script + kSim + " --seed 4 --dump - -");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 13);  // passes 1..13: pass 0 ran the game
  int pngs = 0;
  for (const auto& e : fs::directory_iterator(dir.path)) {
    const Bytes head = ReadBytes(e.path());
    EXPECT_EQ(std::string(head.begin(), head.begin() + 8), std::string("\x89PNG\r\n\x1a\n", 8));
    ++pngs;
  }
  EXPECT_EQ(pngs, 2);  // passes 5 and 10
  EXPECT_TRUE(fs::exists(dir.path / "pass-000005.png"));
}

}  // namespace
}  // namespace zorva
