// zorva-sim: the game, headless, on the simulated window (its command line is
// in sim/command_line.h).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/files.h"
#include "run/run.h"
#include "sim/command_line.h"
#include "sim/replay.h"
#include "sim/script.h"

namespace {

int Usage(const std::string& why) {
  std::cerr << "zorva-sim: " << why << "\n" << zorva::kSimUsage;
  return 2;
}

// The script's lines, from its file or standard input; why it cannot be read in `why`.
std::optional<std::vector<zorva::ScriptLine>> ReadScript(const std::string& path, std::string& why) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      why = "cannot read the script " + zorva::PrintablePath(path);
      return std::nullopt;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return zorva::ParseScript(text);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zorva;
  // The dump is the same bytes on every system, also through a pipe.
  BinaryStandardOutput();
  SimCommandLine line = ParseSimCommandLine(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!line.error.empty()) return Usage(line.error);
  SimOptions& options = line.options;
  options.programFolder = ProgramFolder(argc > 0 ? argv[0] : nullptr);

  std::vector<ScriptLine> script;
  if (line.script) {
    std::string why;
    try {
      const auto read = ReadScript(*line.script, why);
      if (!read) return Usage(why);
      script = *read;
    } catch (const ScriptError& e) {
      std::cerr << "zorva-sim: " << e.what() << "\n";
      return 2;
    }
  }
  if (!options.pngDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.pngDir, ec);
    if (!std::filesystem::is_directory(options.pngDir)) {
      return Usage("cannot make the folder " + PrintablePath(options.pngDir));
    }
  }
  std::ofstream dumpFile;
  if (line.dump == "-") {
    options.dump = &std::cout;
  } else if (line.dump) {
    dumpFile.open(*line.dump, std::ios::binary | std::ios::trunc);
    if (!dumpFile) return Usage("cannot write the dump " + PrintablePath(*line.dump));
    options.dump = &dumpFile;
  }

  int status = 0;
  if (line.play) {
    std::ostream& say = options.dump == &std::cout ? std::cerr : std::cout;
    const auto play = [&](DemoPlayer& player) { return RunPlayback(player, options); };
    status = PlayDemoFile("zorva-sim", *line.play, false, line.verify, play, [&say](const Verdict::Line& said) {
               (said.error ? std::cerr : say) << said.text << std::endl;
             }).status;
  } else {
    options.onRecordError = [](const std::string& why) { std::cerr << "zorva-sim: " << why << std::endl; };
    try {
      if (RunSimulation(script, options).recordFailed) status = 1;
    } catch (const std::exception& e) {
      std::cerr << "zorva-sim: " << e.what() << "\n";
      return 1;
    }
  }
  if (options.dump != nullptr) options.dump->flush();
  return status;
}
