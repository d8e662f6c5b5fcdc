// Plays arbitrary bytes as a demo on the simulated window: the reader and the
// game together, so that every value a file can hand the game is one its
// arithmetic takes (the sanitizers stop at any overflow). Anything else is a
// one-line DemoError or a Desync.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "demo/demo.h"
#include "sim/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    zorva::DemoReader reader(in);
    zorva::DemoPlayer player(reader, false);
    const zorva::PlaybackResult result = zorva::RunPlayback(player, zorva::SimOptions{});
    if (result.stopped || result.frames < result.games) std::abort();
  } catch (const zorva::Desync&) {
  } catch (const zorva::DemoError& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
