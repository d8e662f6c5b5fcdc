// zorva-sim: the game, headless, on the simulated window.
//
//   zorva-sim [--clock MS] [--work MS] [--seed N] [--record DEMO] [--dump FILE]
//             [--png DIR] [--png-every K] SCRIPT
//   zorva-sim --play DEMO [--dump FILE] [--png DIR] [--png-every K]
//   zorva-sim --verify DEMO [--dump FILE] [--png DIR] [--png-every K]
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "base/files.h"
#include "base/number.h"
#include "sim/replay.h"
#include "sim/script.h"

namespace {

constexpr const char* kUsage =
    "usage: zorva-sim [--clock MS] [--work MS] [--seed N] [--record DEMO] [--dump FILE] [--png DIR] [--png-every K]"
    " SCRIPT\n"
    "       zorva-sim --play DEMO [--dump FILE] [--png DIR] [--png-every K]\n"
    "       zorva-sim --verify DEMO [--dump FILE] [--png DIR] [--png-every K]\n";

int Usage(const std::string& why) {
  std::cerr << "zorva-sim: " << why << "\n" << kUsage;
  return 2;
}

// Reads `s` into `out` if it is a whole number in min..max.
template <class T>
bool Number(std::string_view s, T min, T max, T& out) {
  const std::optional<T> v = zorva::WholeNumber(s, min, max);
  if (v) out = *v;
  return v.has_value();
}

}  // namespace

int main(int argc, char** argv) {
  // A dump through a pipe is the same bytes as one written to a file, everywhere.
  zorva::BinaryStandardOutput();
  zorva::SimOptions options;
  options.exeFolder = zorva::ProgramFolder(argv[0]);
  std::optional<std::string> scriptPath, dumpPath, playPath;
  bool scriptOptions = false, verify = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&](std::string_view& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--clock" || arg == "--work" || arg == "--seed" || arg == "--record") scriptOptions = true;
    if (arg == "--record") {
      if (!value(v) || v.empty()) return Usage("--record needs a file name");
      options.record = std::string(v);
    } else if (arg == "--play" || arg == "--verify") {
      if (playPath) return Usage("only one of --play and --verify, once");
      if (!value(v) || v.empty()) return Usage(std::string(arg) + " needs a demo file");
      playPath = std::string(v);
      verify = arg == "--verify";
    } else if (arg == "--clock") {
      if (!value(v) || !Number<std::int64_t>(v, 0, std::int64_t{1} << 53, options.clock))
        return Usage("--clock needs a number of milliseconds from 0 to 2^53");
    } else if (arg == "--work") {
      if (!value(v) || !Number<std::int64_t>(v, 0, 1000000, options.work))
        return Usage("--work needs a number of milliseconds from 0 to 1000000");
    } else if (arg == "--seed") {
      std::uint64_t seed = 0;
      if (!value(v) || !Number<std::uint64_t>(v, 0, UINT64_MAX / 2, seed)) return Usage("--seed needs a whole number");
      options.seed = seed;
    } else if (arg == "--dump") {
      if (!value(v)) return Usage("--dump needs a file name, or - for standard output");
      dumpPath = std::string(v);
    } else if (arg == "--png") {
      if (!value(v) || v.empty()) return Usage("--png needs a folder");
      options.pngDir = std::string(v);
    } else if (arg == "--png-every") {
      if (!value(v) || !Number<std::int64_t>(v, 1, INT64_MAX, options.pngEvery))
        return Usage("--png-every needs a whole number of at least 1");
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return Usage("unknown option " + std::string(arg));
    } else if (scriptPath) {
      return Usage("only one script can be given");
    } else {
      scriptPath = std::string(arg);
    }
  }
  if (playPath && (scriptPath || scriptOptions)) {
    return Usage(std::string(verify ? "--verify" : "--play") + " takes no script, --clock, --work, --seed or --record");
  }
  if (!scriptPath && !playPath) return Usage("no script given");
  // An output that is also an input, or another output, would be written over.
  const auto named = [](const std::optional<std::string>& path) {
    return path && *path != "-" ? *path : std::string();
  };
  const std::string dumpTo = named(dumpPath), scriptFrom = named(scriptPath), playFrom = named(playPath),
                    recordTo = options.record;
  using Clash = std::pair<const std::string&, const std::string&>;
  for (const auto& [out, other] :
       {Clash{dumpTo, playFrom}, Clash{dumpTo, scriptFrom}, Clash{dumpTo, recordTo}, Clash{recordTo, scriptFrom}}) {
    if (!out.empty() && !other.empty() && zorva::SameFile(out, other)) {
      return Usage("the file " + zorva::PrintablePath(out) + " would be written over while it is in use");
    }
  }

  std::vector<zorva::ScriptLine> script;
  if (scriptPath) {
    std::string text;
    if (*scriptPath == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream in(*scriptPath, std::ios::binary);
      if (!in) return Usage("cannot read the script " + zorva::PrintablePath(*scriptPath));
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    try {
      script = zorva::ParseScript(text);
    } catch (const zorva::ScriptError& e) {
      std::cerr << "zorva-sim: " << e.what() << "\n";
      return 2;
    }
  }

  if (!options.pngDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.pngDir, ec);
    if (!std::filesystem::is_directory(options.pngDir))
      return Usage("cannot make the folder " + zorva::PrintablePath(options.pngDir));
  }

  std::ofstream dumpFile;
  if (dumpPath) {
    if (*dumpPath == "-") {
      options.dump = &std::cout;
    } else {
      dumpFile.open(*dumpPath, std::ios::binary | std::ios::trunc);
      if (!dumpFile) return Usage("cannot write the dump " + zorva::PrintablePath(*dumpPath));
      options.dump = &dumpFile;
    }
  }

  if (playPath) {
    std::ostream& say = options.dump == &std::cout ? std::cerr : std::cout;
    const auto play = [&](zorva::DemoPlayer& player) { return zorva::RunPlayback(player, options); };
    const int status = zorva::PlayDemoFile("zorva-sim", *playPath, false, say, play, verify);
    if (options.dump != nullptr) options.dump->flush();
    return status;
  }
  options.onRecordError = [](const std::string& why) { std::cerr << "zorva-sim: " << why << std::endl; };
  try {
    if (zorva::RunSimulation(script, options).recordFailed) return 1;
  } catch (const std::exception& e) {
    std::cerr << "zorva-sim: " << e.what() << "\n";
    return 1;
  }
  if (options.dump != nullptr) options.dump->flush();
  return 0;
}
