// The command line of zorva-sim:
//   zorva-sim [--clock MS] [--work MS] [--seed N | --challenge CODE]
//             [--record DEMO] [--dump FILE] [--png DIR] [--png-every K] SCRIPT
//   zorva-sim --play DEMO [--from N] [--to M] [--dump FILE] [--png DIR] [--png-every K]
//   zorva-sim --verify DEMO [--from N] [--to M] [--dump FILE] [--png DIR] [--png-every K]
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/replay.h"

namespace zorva {

struct SimCommandLine {
  SimOptions options;                 // the clock, the work, the seed, the demo recorded, the pictures
  std::optional<std::string> script;  // "-" for standard input
  std::optional<std::string> dump;    // "-" for standard output
  std::optional<std::string> play;    // a demo to play back (or verify)
  bool verify = false;
  std::string error;  // why the command line cannot be used, when it cannot
};

// Reads the arguments after the program's name. Every option may be given as
// "--name VALUE" or "--name=VALUE". An output that names an input or another
// output is refused.
SimCommandLine ParseSimCommandLine(const std::vector<std::string_view>& args);

// The usage text, three lines.
extern const char* const kSimUsage;

}  // namespace zorva
