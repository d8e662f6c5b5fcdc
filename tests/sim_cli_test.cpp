// zorva-sim from the command line: golden replays, options and errors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ShellRun {
  int status = -1;
  std::string out;
};

// Runs a shell command and collects its standard output (standard error is
// sent to standard output when `withErrors`).
ShellRun Shell(const std::string& command, bool withErrors = false) {
  ShellRun run;
  const std::string full = command + (withErrors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 65536> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Sim() { return std::string("'") + ZORVA_BINARY_DIR + "/zorva-sim'"; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Each tests/golden/NAME.script starts with a line "# zorva-sim OPTIONS";
// its dump must match NAME.jsonl byte for byte.
TEST(SimCli, GoldenReplaysMatchByteForByte) {
  const fs::path dir = fs::path(ZORVA_SOURCE_DIR) / "tests" / "golden";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".script") continue;
    std::ifstream in(entry.path());
    std::string first;
    std::getline(in, first);
    const std::string prefix = "# zorva-sim";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << entry.path();
    const std::string options = first.substr(prefix.size());
    const ShellRun run = Shell(Sim() + options + " --dump - '" + entry.path().string() + "'");
    ASSERT_EQ(run.status, 0) << entry.path();
    fs::path expected = entry.path();
    expected.replace_extension(".jsonl");
    EXPECT_TRUE(run.out == ReadFile(expected))
        << entry.path().filename() << " differs from its recorded dump; if the change is intended, "
        << "record it again with `make golden`";
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

TEST(SimCli, BadOptionsAndScriptLinesExitWithStatusTwo) {
  struct Case {
    std::string args;
    std::string script;
    std::string message;
  };
  const Case cases[] = {
      {"--frobnicate", "1 -\n", "unknown option"},
      {"--work", "", "--work needs"},
      {"--work -3", "1 -\n", "--work needs"},
      {"--clock x", "1 -\n", "--clock needs"},
      {"--png-every 0", "1 -\n", "--png-every needs"},
      {"", "1 -\n0 SPACE\n", "script line 2"},
      {"", "# fine\n\n2 LEFT\n3 JUMP\n", "script line 4: unknown token \"JUMP\""},
      {"", "1\n", "script line 1"},
      {"", "x SPACE\n", "script line 1"},
      {"", "1 work=abc\n", "script line 1"},
  };
  for (const Case& c : cases) {
    const ShellRun run = Shell("printf '" + c.script + "' | " + Sim() + " " + c.args + " -", true);
    EXPECT_EQ(run.status, 2) << c.args << " / " << c.script;
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
  }
}

TEST(SimCli, SameScriptSameBytesAndPngsOfTheCanvas) {
  const fs::path dir = fs::temp_directory_path() / ("zorva-sim-test-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string script = "printf '1 SPACE\\n12 SPACE RIGHT\\n' | ";
  const ShellRun a = Shell(script + Sim() + " --seed 4 --dump - --png '" + dir.string() + "' --png-every 5 -");
  const ShellRun b = Shell(script + Sim() + " --seed 4 --dump - -");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 13);  // passes 1..13; pass 0 ran the game and was closed around
  int pngs = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string head = ReadFile(e.path()).substr(0, 8);
    EXPECT_EQ(head, std::string("\x89PNG\r\n\x1a\n", 8));
    ++pngs;
  }
  EXPECT_EQ(pngs, 2);  // passes 5 and 10
  EXPECT_TRUE(fs::exists(dir / "pass-000005.png"));
  fs::remove_all(dir);
}

}  // namespace
