// Feeds arbitrary bytes to the demo reader. Every record it hands out must be
// one the player can follow (readings in range, checks only for frames that
// ended, games that start and end in turn); anything else is a one-line
// DemoError. Every game start also goes through the verifier's checks, after
// the starts before it as the earlier games: a refusal is one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>

#include "demo/demo_file.h"
#include "demo/verify.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Kind = zorva::DemoReader::Kind;
  const auto check = [](bool ok) {
    if (!ok) std::abort();
  };
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    zorva::DemoReader reader(in);
    bool inGame = false;
    zorva::Verifier verifier;
    int unchecked = 0;
    std::int64_t last = 0;  // readings never go back
    for (zorva::DemoReader::Event e = reader.Next(); e.kind != Kind::End; e = reader.Next()) {
      check(inGame == (e.kind != Kind::GameStart));
      inGame = e.kind != Kind::GameEnd;
      if (e.kind == Kind::GameStart) {
        const zorva::GameStart& start = reader.Start();
        check(start.state.ScrollY >= 0 && start.state.ScrollY < 320);
        try {
          verifier.GameStarts(start);
        } catch (const zorva::RuleBreak& refused) {
          check(std::string(refused.what()).find('\n') == std::string::npos);
        }
        verifier.GameEnds(start.state, start.rnd, start.clock);
      }
      if (e.kind == Kind::Clock || e.kind == Kind::Wait) {
        check(e.value >= last && e.value - reader.Start().clock <= zorva::kDemoClockSpan);
        last = e.value;
      }
      if (e.kind == Kind::GameStart) last = reader.Start().clock;
      if (e.kind == Kind::FrameEnd) check(++unchecked <= zorva::kDemoMaxChecks);
      if (e.kind == Kind::Checks) check(std::exchange(unchecked, 0) == e.value);
      if (e.kind == Kind::GameEnd) check(unchecked == 0 && reader.LastTrailer().frames >= 0 && reader.LastTrailer().score >= 0);
    }
    check(!inGame);
  } catch (const zorva::DemoError& e) {
    check(std::string(e.what()).find('\n') == std::string::npos);
  }
  return 0;
}
