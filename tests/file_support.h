// Small things for the tests: whole-file reads and writes, a scratch folder
// of the test's own (removed afterwards), a program run with its results
// kept, and values compared by name.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <charconv>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace zorva {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct TempDir {
  explicit TempDir(const std::string& name = "scratch")
      : path(fs::temp_directory_path() / ("zorva-" + std::to_string(::getpid()) + "-" + name)) {
    fs::remove_all(path), fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

// Values with the expressions that gave them: V(G.Score, G.ShotY[3]) keeps "G.Score" and "G.ShotY[3]" beside the
// two numbers. EXPECT_VALUES(V(...), V(...)) names every value that differs: "G.ShotY[3] is 120, expected 123".
struct Values {
  std::vector<std::string> names;
  std::vector<double> values;
  Values(std::vector<double> v = {}) : values(std::move(v)) {}
  Values(std::string_view list, std::vector<double> v) : names(1), values(std::move(v)) {
    int depth = 0;  // a comma inside brackets is not between two names
    for (const char c : list) {
      depth += (c == '(' || c == '[' || c == '{') - (c == ')' || c == ']' || c == '}');
      if (depth == 0 && c == ',') names.emplace_back();
      else if (c != ' ' || !names.back().empty()) names.back() += c;
    }
  }
  bool operator==(const Values& other) const { return values == other.values; }
};

inline testing::AssertionResult SameValues(const char*, const char*, const Values& actual, const Values& expected) {
  const auto text = [](double v) { char t[32]; return std::string(t, std::to_chars(t, t + sizeof t, v).ptr); };
  if (actual.values.size() != expected.values.size())
    return testing::AssertionFailure() << actual.values.size() << " values, expected " << expected.values.size();
  testing::AssertionResult result = testing::AssertionSuccess();
  for (std::size_t k = 0; k < actual.values.size(); ++k)
    if (actual.values[k] != expected.values[k])
      result = testing::AssertionFailure() << result.message() << (result ? "" : "; ")
                                           << (k < actual.names.size() ? actual.names[k] : "value " + std::to_string(k + 1))
                                           << " is " << text(actual.values[k]) << ", expected " << text(expected.values[k]);
  return result;
}

template <class... T>
Values MakeValues(std::string_view names, T... values) {
  return Values(names, {static_cast<double>(values)...});
}

// A program of the build as a shell word. A cross-built suite starts it under the emulator that runs the suite (ZORVA_RUN).
#ifndef ZORVA_RUN
#define ZORVA_RUN ""
#endif
inline std::string Command(const fs::path& program) { return ZORVA_RUN "'" + program.string() + "'"; }

// Runs a program with its arguments (shell words) in a folder, `input` on its standard input; its exit status, the
// number of lines it wrote to standard output and the first line it wrote to standard error.
inline std::tuple<int, int, std::string> RunProgram(const fs::path& program, const std::string& args, const fs::path& dir,
                                                    const std::string& input = "") {
  std::ofstream(dir / "input") << input;
  const std::string command = "cd '" + dir.string() + "' && " + Command(program) + " " + args + " < input > out 2> err";
  const int status = std::system(command.c_str());
  std::ifstream out(dir / "out"), err(dir / "err");
  std::string line, complaint;
  int lines = 0;
  while (std::getline(out, line)) ++lines;
  std::getline(err, complaint);
#ifdef _WIN32
  return {status, lines, complaint};
#else
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, lines, complaint};
#endif
}

inline Bytes ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WriteBytes(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return p.string();
}

}  // namespace zorva

#define V(...) ::zorva::MakeValues(#__VA_ARGS__ __VA_OPT__(, ) __VA_ARGS__)
#define EXPECT_VALUES(actual, expected) EXPECT_PRED_FORMAT2(::zorva::SameValues, actual, expected)
#define ASSERT_VALUES(actual, expected) ASSERT_PRED_FORMAT2(::zorva::SameValues, actual, expected)
