// Key scripts for the simulator: one line per run of passes.
//
//   COUNT TOKEN...
//
// COUNT >= 1 passes. Tokens: LEFT, RIGHT, SPACE (held during every one of
// those passes), tap:LEFT, tap:RIGHT, tap:SPACE (pressed and released just
// before the first of them), wait (WAIT is clicked in the first event pump of
// the first of them), close (the window is closed in that pump), work=MS (from
// the first of them on, the event pump advances the clock by MS), - (no key).
// Blank lines and lines starting with # are skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zorva {

struct ScriptLine {
  int lineNumber = 0;      // in the script text, 1-based
  std::int64_t count = 1;  // passes this line stands for
  bool holdLeft = false, holdRight = false, holdSpace = false;
  bool tapLeft = false, tapRight = false, tapSpace = false;
  bool clickWait = false;
  bool close = false;
  std::optional<std::int64_t> work;
};

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Parses a whole script. Throws ScriptError naming the line on a bad line.
std::vector<ScriptLine> ParseScript(std::string_view text);

}  // namespace zorva
