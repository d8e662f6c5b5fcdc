// Arbitrary bytes played as a demo, the reader and the game together, and verified when their size is odd: the
// sanitizers stop at any overflow a file's values cause; anything refused is a one-line DemoError or RuleBreak, or
// a Desync.
#include <cstdlib>
#include <sstream>

#include "demo/verify.h"
#include "sim/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    zorva::DemoReader reader(in);
    zorva::DemoPlayer player(reader, false);
    zorva::Verifier verifier;
    if (size % 2 == 1) player.verifier = &verifier;
    if (zorva::RunPlayback(player, zorva::SimOptions{}).stopped) std::abort();
  } catch (const zorva::Desync&) {
  } catch (const zorva::DemoError& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
  } catch (const zorva::RuleBreak& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
