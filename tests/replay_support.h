// Running whole scripts on the simulator and reading its records back.
#pragma once

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
  bool Written() const { return !fields.empty(); }
  bool IsGame() const { return Written() && Str("loop") == "game"; }
  std::int64_t Duration() const { return Int("clock_end") - Int("clock_start"); }
};

inline Record ParseRecord(const std::string& line) {
  Record r;
  for (std::size_t i = 1; i < line.size() && line[i] == '"';) {  // i: start of a key
    const std::size_t keyEnd = line.find('"', i + 1);
    const std::size_t start = keyEnd + 2;  // past ":
    std::size_t j = start;
    int depth = 0;
    for (bool inString = false; j < line.size(); ++j) {
      const char c = line[j];
      if (inString) {
        if (c == '\\') ++j;
        else inString = c != '"';
      } else if (c == '"') {
        inString = true;
      } else if (c == '[' || c == ']') {
        depth += c == '[' ? 1 : -1;
      } else if ((c == ',' || c == '}') && depth == 0) {
        break;
      }
    }
    r.fields[line.substr(i + 1, keyEnd - i - 1)] = line.substr(start, j - start);
    i = j + 1;
  }
  return r;
}

struct Replay {
  std::string dump;
  std::vector<Record> records;  // in the order written
  SimResult result;

  // Records by pass number; a pass without a record (a title pass that ran a
  // game until the window was closed) has no fields.
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
  for (std::string line; std::getline(lines, line);) replay.records.push_back(ParseRecord(line));
  return replay;
}

inline SimOptions Seeded(std::uint64_t seed) {
  SimOptions o;
  o.seed = seed;
  return o;
}

}  // namespace zorva
