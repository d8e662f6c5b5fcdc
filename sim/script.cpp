#include "sim/script.h"

#include <limits>
#include <optional>

#include "base/number.h"

namespace zorva {

namespace {

// The largest values a script may give: generous, and far from any overflow.
constexpr std::int64_t kMaxCount = 1'000'000'000;
constexpr std::int64_t kMaxWork = 1'000'000;

[[noreturn]] void Fail(int lineNumber, const std::string& why) {
  throw ScriptError("script line " + std::to_string(lineNumber) + ": " + why);
}

}  // namespace

std::vector<ScriptLine> ParseScript(std::string_view text) {
  std::vector<ScriptLine> lines;
  int lineNumber = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    const auto words = Words(raw);
    if (words.empty() || words[0][0] == '#') {
      if (end == text.size()) break;
      continue;
    }
    ScriptLine line;
    line.lineNumber = lineNumber;
    const std::optional<std::int64_t> count = WholeNumber<std::int64_t>(words[0], 1, kMaxCount);
    if (!count) Fail(lineNumber, "expected a pass count of at least 1, found \"" + std::string(words[0]) + "\"");
    line.count = *count;
    if (words.size() < 2) Fail(lineNumber, "expected at least one token after the count (- for no key)");
    for (std::size_t w = 1; w < words.size(); ++w) {
      const std::string_view t = words[w];
      if (t == "LEFT") line.holdLeft = true;
      else if (t == "RIGHT") line.holdRight = true;
      else if (t == "SPACE") line.holdSpace = true;
      else if (t == "tap:LEFT") line.tapLeft = true;
      else if (t == "tap:RIGHT") line.tapRight = true;
      else if (t == "tap:SPACE") line.tapSpace = true;
      else if (t == "wait") line.clickWait = true;
      else if (t == "close") line.close = true;
      else if (t == "-") {
      } else if (t.substr(0, 5) == "work=") {
        line.work = WholeNumber<std::int64_t>(t.substr(5), 0, kMaxWork);
        if (!line.work)
          Fail(lineNumber, "work needs a number of milliseconds from 0 to 1000000, found \"" + std::string(t) + "\"");
      } else {
        Fail(lineNumber, "unknown token \"" + std::string(t) + "\"");
      }
    }
    lines.push_back(line);
    if (end == text.size()) break;
  }
  return lines;
}

}  // namespace zorva
