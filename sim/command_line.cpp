#include "sim/command_line.h"

#include <cstdint>

#include "base/challenge.h"
#include "base/files.h"
#include "base/number.h"
#include "base/options.h"

namespace zorva {

const char* const kSimUsage =
    "usage: zorva-sim [--clock MS] [--work MS] [--seed N | --challenge CODE] [--record DEMO] [--dump FILE] [--png DIR]"
    " [--png-every K] SCRIPT\n"
    "       zorva-sim --play DEMO [--from N] [--to M] [--dump FILE] [--png DIR] [--png-every K]\n"
    "       zorva-sim --verify DEMO [--from N] [--to M] [--dump FILE] [--png DIR] [--png-every K]\n";

namespace {

// Reads `s` into `out` if it is a whole number in min..max.
template <class T>
bool Number(std::optional<std::string_view> s, T min, T max, T& out) {
  const std::optional<T> v = s ? WholeNumber(*s, min, max) : std::nullopt;
  if (v) out = *v;
  return v.has_value();
}

// Reads the option or word `options` stands on into `line`; why it cannot be
// read, or nothing.
std::string ReadSimOption(Options& options, SimCommandLine& line, bool& scriptOptions) {
  const std::string_view arg = options.Name();
  SimOptions& o = line.options;
  if (arg == "--clock" || arg == "--work" || arg == "--seed" || arg == "--challenge" || arg == "--record") {
    scriptOptions = true;
  }
  if (arg == "--record") {
    const auto v = options.Value();
    if (!v || v->empty()) return "--record needs a file name";
    o.record = std::string(*v);
  } else if (arg == "--play" || arg == "--verify") {
    if (line.play) return "only one of --play and --verify, once";
    const auto v = options.Value();
    if (!v || v->empty()) return std::string(arg) + " needs a demo file";
    line.play = std::string(*v);
    line.verify = arg == "--verify";
  } else if (arg == "--clock") {
    if (!Number<std::int64_t>(options.Value(), 0, std::int64_t{1} << 53, o.clock))
      return "--clock needs a number of milliseconds from 0 to 2^53";
  } else if (arg == "--work") {
    if (!Number<std::int64_t>(options.Value(), 0, 1000000, o.work))
      return "--work needs a number of milliseconds from 0 to 1000000";
  } else if (arg == "--seed") {
    std::uint64_t seed = 0;
    if (!Number<std::uint64_t>(options.Value(), 0, UINT64_MAX / 2, seed)) return "--seed needs a whole number";
    o.seed = seed;
  } else if (arg == "--challenge") {
    const auto v = options.Value();
    o.challenge = v ? ChallengeSeed(*v) : std::nullopt;
    if (!o.challenge) return "--challenge needs a challenge code, such as 7KQ-M2R-X4J";
  } else if (arg == "--dump") {
    const auto v = options.Value();
    if (!v) return "--dump needs a file name, or - for standard output";
    line.dump = std::string(*v);
  } else if (arg == "--png") {
    const auto v = options.Value();
    if (!v || v->empty()) return "--png needs a folder";
    o.pngDir = std::string(*v);
  } else if (arg == "--from" || arg == "--to") {
    if (!Number<std::int64_t>(options.Value(), 1, std::int64_t{1} << 40, arg == "--from" ? o.from : o.to))
      return std::string(arg) + " needs a frame number from 1 on";
  } else if (arg == "--png-every") {
    if (!Number<std::int64_t>(options.Value(), 1, INT64_MAX, o.pngEvery))
      return "--png-every needs a whole number of at least 1";
  } else if (options.IsOption() && arg != "-") {
    return "unknown option " + std::string(arg);
  } else if (line.script) {
    return "only one script can be given";
  } else {
    line.script = std::string(arg);
  }
  return {};
}

// An output that is also an input, or another output, would be written over.
std::string Clash(const SimCommandLine& line) {
  const auto named = [](const std::optional<std::string>& path) {
    return path && *path != "-" ? *path : std::string();
  };
  const std::string dumpTo = named(line.dump), scriptFrom = named(line.script), playFrom = named(line.play),
                    recordTo = line.options.record;
  using Pair = std::pair<const std::string&, const std::string&>;
  for (const auto& [out, other] :
       {Pair{dumpTo, playFrom}, Pair{dumpTo, scriptFrom}, Pair{dumpTo, recordTo}, Pair{recordTo, scriptFrom}}) {
    if (!out.empty() && !other.empty() && SameFile(out, other)) {
      return "the file " + PrintablePath(out) + " would be written over while it is in use";
    }
  }
  return {};
}

}  // namespace

SimCommandLine ParseSimCommandLine(const std::vector<std::string_view>& args) {
  SimCommandLine line;
  bool scriptOptions = false;
  Options options(args);
  while (options.Next() && line.error.empty()) line.error = ReadSimOption(options, line, scriptOptions);
  if (!line.error.empty()) return line;
  if (!line.play && (line.options.from > 0 || line.options.to > 0)) {
    line.error = "--from and --to go with --play or --verify";
  } else if (line.options.to > 0 && line.options.from > line.options.to) {
    line.error = "--from comes before --to";
  } else if (line.play && (line.script || scriptOptions)) {
    line.error = std::string(line.verify ? "--verify" : "--play") +
                 " takes no script, --clock, --work, --seed, --challenge or --record";
  } else if (line.options.seed && line.options.challenge) {
    line.error = "--seed and --challenge do not go together: a challenge seeds every game";
  } else if (!line.script && !line.play) {
    line.error = "no script given";
  } else {
    line.error = Clash(line);
  }
  return line;
}

}  // namespace zorva
