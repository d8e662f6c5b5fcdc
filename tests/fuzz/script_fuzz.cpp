// Feeds arbitrary text to the zorva-sim script parser. A script is either
// refused with a ScriptError naming its line, or read into lines that the
// simulator can run; and a line read back from its own tokens reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sim/script.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Tokens(const zorva::ScriptLine& l) {
  std::string s = std::to_string(l.count);
  if (l.holdLeft) s += " LEFT";
  if (l.holdRight) s += " RIGHT";
  if (l.holdSpace) s += " SPACE";
  if (l.tapLeft) s += " tap:LEFT";
  if (l.tapRight) s += " tap:RIGHT";
  if (l.tapSpace) s += " tap:SPACE";
  if (l.clickWait) s += " wait";
  if (l.close) s += " close";
  if (l.work) s += " work=" + std::to_string(*l.work);
  return s + " -";
}

bool Same(const zorva::ScriptLine& a, const zorva::ScriptLine& b) {
  return a.count == b.count && a.holdLeft == b.holdLeft && a.holdRight == b.holdRight && a.holdSpace == b.holdSpace &&
         a.tapLeft == b.tapLeft && a.tapRight == b.tapRight && a.tapSpace == b.tapSpace &&
         a.clickWait == b.clickWait && a.close == b.close && a.work == b.work;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<zorva::ScriptLine> lines;
  try {
    lines = zorva::ParseScript(text);
  } catch (const zorva::ScriptError& e) {
    Check(std::string_view(e.what()).substr(0, 12) == "script line ");
    return 0;
  }
  int previous = 0;
  std::string again;
  for (const zorva::ScriptLine& l : lines) {
    Check(l.lineNumber > previous);
    previous = l.lineNumber;
    Check(l.count >= 1 && l.count <= 1'000'000'000);
    Check(!l.work || (*l.work >= 0 && *l.work <= 1'000'000));
    again += Tokens(l) + "\n";
  }
  const std::vector<zorva::ScriptLine> reread = zorva::ParseScript(again);
  Check(reread.size() == lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) Check(Same(reread[i], lines[i]));
  return 0;
}
