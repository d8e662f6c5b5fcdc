// Running whole scripts on the simulator and reading its records back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/replay.h"
#include "sim/script.h"

namespace zorva {

// One record of the dump: each top-level key with its raw JSON value.
struct Record {
  std::map<std::string, std::string> fields;

  const std::string& Raw(const std::string& key) const { return fields.at(key); }
  std::int64_t Int(const std::string& key) const { return std::stoll(Raw(key)); }
  double Number(const std::string& key) const { return std::stod(Raw(key)); }
  bool Bool(const std::string& key) const { return Raw(key) == "true"; }
  std::string Str(const std::string& key) const {
    const std::string& r = Raw(key);
    return r.size() >= 2 ? r.substr(1, r.size() - 2) : r;
  }
  // Elements of an array of numbers.
  std::vector<double> Numbers(const std::string& key) const {
    std::vector<double> out;
    std::string r = Raw(key);
    std::stringstream in(r.substr(1, r.size() - 2));
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(std::stod(item));
    return out;
  }
  bool Written() const { return !fields.empty(); }
  bool IsGame() const { return Written() && Str("loop") == "game"; }
  std::int64_t Duration() const { return Int("clock_end") - Int("clock_start"); }
};

inline Record ParseRecord(const std::string& line) {
  Record r;
  std::size_t i = 1;  // past '{'
  while (i < line.size() && line[i] == '"') {
    const std::size_t keyEnd = line.find('"', i + 1);
    const std::string key = line.substr(i + 1, keyEnd - i - 1);
    std::size_t j = keyEnd + 2;  // past ":
    const std::size_t start = j;
    int depth = 0;
    bool inString = false;
    for (; j < line.size(); ++j) {
      const char c = line[j];
      if (inString) {
        if (c == '\\') ++j;
        else if (c == '"') inString = false;
      } else if (c == '"') {
        inString = true;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']') {
        --depth;
      } else if ((c == ',' || c == '}') && depth == 0) {
        break;
      }
    }
    r.fields[key] = line.substr(start, j - start);
    i = j + 1;
  }
  return r;
}

struct Replay {
  std::string dump;
  std::vector<Record> records;  // in the order written
  SimResult result;

  // Records indexed by pass number; a pass without a record (a title pass
  // that ran a game until the window was closed) has no fields.
  std::vector<Record> ByPass() const {
    std::vector<Record> out;
    for (const Record& r : records) {
      const auto pass = static_cast<std::size_t>(r.Int("pass"));
      if (out.size() <= pass) out.resize(pass + 1);
      out[pass] = r;
    }
    return out;
  }
};

inline Replay RunScript(const std::string& script, SimOptions options = {}) {
  std::ostringstream out;
  options.dump = &out;
  Replay replay;
  replay.result = RunSimulation(ParseScript(script), options);
  replay.dump = out.str();
  std::istringstream lines(replay.dump);
  std::string line;
  while (std::getline(lines, line)) replay.records.push_back(ParseRecord(line));
  return replay;
}

}  // namespace zorva
