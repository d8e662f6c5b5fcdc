// Feeds arbitrary bytes to the demo reader. Every record it hands out must be
// one the player can follow: readings in range, checks only for frames that
// ended, games that start and end in turn; anything else is a DemoError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "demo/demo_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Kind = zorva::DemoReader::Kind;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    zorva::DemoReader reader(in);
    bool inGame = false;
    int unchecked = 0;
    for (zorva::DemoReader::Event e = reader.Next(); e.kind != Kind::End; e = reader.Next()) {
      Check(inGame == (e.kind != Kind::GameStart));
      switch (e.kind) {
        case Kind::GameStart:
          Check(reader.Start().state.ScrollY >= 0 && reader.Start().state.ScrollY < 320);
          Check(reader.Start().state.BulletTop >= 0 && reader.Start().state.BulletTop <= 20);
          inGame = true;
          break;
        case Kind::Clock:
        case Kind::Wait:
          Check(e.value >= -zorva::kDemoClockLimit && e.value <= zorva::kDemoClockLimit);
          break;
        case Kind::FrameEnd:
          Check(++unchecked <= zorva::kDemoMaxChecks);
          break;
        case Kind::Checks:
          Check(e.value == unchecked);
          unchecked = 0;
          break;
        case Kind::GameEnd:
          Check(unchecked == 0 && reader.End().frames >= 0 && reader.End().score >= 0);
          inGame = false;
          break;
        default:
          break;
      }
    }
    Check(!inGame);
  } catch (const zorva::DemoError& e) {
    Check(std::string(e.what()).find('\n') == std::string::npos);
  }
  return 0;
}
