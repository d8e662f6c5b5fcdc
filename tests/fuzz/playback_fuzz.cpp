// Arbitrary bytes played as a demo, the reader and the game together, verified when their size is odd, and watched
// by a viewer who seeks, steps and skips (commands drawn from the bytes) when it is a multiple of three: the
// sanitizers stop at any overflow a file's values cause; anything refused is a one-line DemoError or RuleBreak, or a
// Desync.
#include <cstdlib>
#include <sstream>

#include "demo/verify.h"
#include "demo/viewer.h"
#include "sim/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    zorva::DemoReader reader(in, 256);
    zorva::DemoPlayer player(reader, false);
    zorva::Verifier verifier;
    if (size % 2 == 1) player.verifier = &verifier;
    zorva::Viewer viewer(size, 8, 64 * 1024);
    std::size_t asked = 0;
    if (size % 3 == 0 && size > 0) {
      player.viewer = &viewer;
      viewer.SetPaused(true);
      viewer.SeekToFrame(data[0]);
      viewer.onStanding = [&](std::int64_t) {
        if (asked == 24 || asked >= size) return viewer.SetPaused(false);
        const std::uint8_t b = data[asked++];
        if (b < 16) viewer.SeekToFraction(b / 16.0);
        else viewer.Ask(static_cast<zorva::ViewCommand>(b % (static_cast<int>(zorva::ViewCommand::ToEnd) + 1)));
      };
    }
    if (zorva::RunPlayback(player, zorva::SimOptions{}).stopped) std::abort();
  } catch (const zorva::Desync&) {
  } catch (const zorva::DemoError& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
  } catch (const zorva::RuleBreak& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
