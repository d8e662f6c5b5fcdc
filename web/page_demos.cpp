#include "web/page_demos.h"

#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/challenge.h"
#include "base/rnd.h"
#include "demo/demo.h"
#include "demo/demo_stream.h"
#include "demo/viewer.h"
#include "flow/form.h"
#include "rules/state.h"
#include "run/run.h"

namespace zorva {

namespace {

// Each run's recording, in the page's memory, as header and unpacked records:
// demos.js packs it when the player saves it.
std::vector<std::uint8_t> recording;

// A demo file as the page hands it over, its records unpacked, in memory of
// its own: the one waiting to be played, and the one playing.
struct Room {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};
Room waiting, playing;

// The JavaScript pieces stay as written: the formatter reads them as C++.
// clang-format off
EM_JS(bool, js_demo_waiting, (), { return Boolean(Module.demos && Module.demos.waiting); });

// Takes the demo handed over: its file's name and the frame to start at,
// paused (0: from the start, playing); or 0.
EM_JS(int, js_demo_take, (char* name, int size, double* frame), {
  const demo = Module.demos.waiting;
  if (!demo) return 0;
  Module.demos.waiting = null;
  Module.demos.playing = demo;
  Module.demos.take();
  stringToUTF8(demo.name, name, size);
  HEAPF64[frame >> 3] = demo.frame || 0;
  return 1;
});

// The demo being played: its file's size, the size of its records once
// unpacked, and what stopped the unpacking ("" for nothing, "cut" for a file
// cut short, or why the file is damaged).
EM_JS(void, js_demo_unpacked, (double* sizes, char* fault, int size), {
  const demo = Module.demos.playing;
  HEAPF64.set([demo.packed, demo.raw], sizes >> 3);
  stringToUTF8(demo.fault, fault, size);
});

EM_JS(void, js_demo_line, (const char* line), { Module.demos.line(UTF8ToString(line)); });

// The playback has come to stand on a frame, or landed on it from a seek.
EM_JS(void, js_demo_stood, (double frame), { Module.demos.stood = frame; });

// The demo has played, or been refused: the page lets go of it.
EM_JS(void, js_demo_played, (), { Module.demos.played(); });

// A run begins (0), records a game (1) or ends (2).
EM_JS(void, js_run, (int event), { Module.demos.run(event); });

// The challenge the page asks the next run to be (hall.js): whether it asks,
// and its code, taken.
EM_JS(bool, js_challenge_asked, (), { return Boolean(Module.hall && Module.hall.asked); });
EM_JS(int, js_challenge_take, (char* code, int size), {
  const asked = Module.hall && Module.hall.asked;
  if (!asked) return 0;
  Module.hall.asked = null;
  stringToUTF8(asked, code, size);
  return 1;
});

// A run begins: of the challenge `code`, or ("") of seeds of its own.
EM_JS(void, js_challenge_run, (const char* code), { if (Module.hall) Module.hall.run(UTF8ToString(code)); });
// clang-format on

// The demo file's header, read as it stands; the rest is unpacked by the page.
constexpr std::uint64_t kHeaderBytes = 10;

// While a playback stands on a frame, the page is served this often (ms):
// the viewer's keys and buttons answer within a display frame.
constexpr unsigned kStandingRestMs = 5;

// The demo being played as the page was handed it, packed: its size and how
// its records unpacked (see js_demo_unpacked).
struct Unpacked {
  std::uint64_t packed = 0, raw = 0;
  std::string fault;
};
Unpacked DemoUnpacked() {
  double sizes[2] = {};
  char fault[256] = {};
  js_demo_unpacked(sizes, fault, sizeof fault);
  return {static_cast<std::uint64_t>(sizes[0]), static_cast<std::uint64_t>(sizes[1]), fault};
}

// The records as they are: the page packs them when it saves the file.
class PagePacker final : public Packer {
 public:
  void Pack(std::span<const std::uint8_t> in, Flush,
            const std::function<void(std::span<const std::uint8_t>)>& out) override {
    if (!in.empty()) out(in);
  }
};

// The records unpacked by the page before the playback: handed on as they
// are, with the file's size behind them in proportion, and the end, the cut
// or the damage the page met.
class PageUnpacker final : public Unpacker {
 public:
  PageUnpacker() {
    const Unpacked demo = DemoUnpacked();
    packed_ = demo.packed;
    raw_ = demo.raw;
    fault_ = demo.fault;
  }

  void Feed(std::span<const std::uint8_t> in) override { in_ = in; }
  // The damage met is one more byte to unpack, once the records before it are.
  std::size_t Left() const override { return in_.size() + (Damaged() && used_ >= raw_ ? 1 : 0); }

  std::size_t Unpack(std::span<std::uint8_t> out, bool& end) override {
    if (in_.empty()) {
      if (Damaged() && used_ >= raw_) throw DemoError(fault_);
      return 0;
    }
    const std::size_t n = std::min(out.size(), in_.size());
    std::copy_n(in_.begin(), n, out.begin());
    in_ = in_.subspan(n);
    used_ += n;
    if (used_ >= raw_ && fault_.empty()) end = true;
    return n;
  }

  std::uint64_t FileBytes(std::uint64_t fed) const override {
    if (fed <= kHeaderBytes || raw_ == 0 || packed_ <= kHeaderBytes) return fed;
    // The page keeps both sizes within 64 MiB, so the product stays below 2^52.
    return kHeaderBytes + (std::min(fed - kHeaderBytes, raw_) * (packed_ - kHeaderBytes)) / raw_;
  }

  std::unique_ptr<Unpacker> Copy() const override {
    auto copy = std::make_unique<PageUnpacker>(*this);
    copy->in_ = {};
    return copy;
  }

 private:
  bool Damaged() const { return !fault_.empty() && fault_ != "cut"; }

  std::uint64_t packed_ = 0, raw_ = 0, used_ = 0;
  std::string fault_;
  std::span<const std::uint8_t> in_;
};

// Plays the demo `name`, handed over in `room`, at its pace and verifies it,
// its lines (and why it is refused) shown on the page, watched as a viewer
// does: from `frame`, paused, when it is not 0. The viewer lives here, above
// the refusals that end the playback.
void PlayOnPage(const std::string& name, const Room& room, std::int64_t frame) {
  MemorySource source({room.bytes.get(), room.size});
  std::optional<Viewer> viewer;
  PlayDemo(
      "ZORVA", name, source, room.size, true, true,
      [frame, &viewer](DemoPlayer& player) {
        player.stopRequested = DemoWaiting;
        player.sleep = [](std::int64_t ms) { emscripten_sleep(static_cast<unsigned>(std::max<std::int64_t>(ms, 0))); };
        // The page's file holds the records unpacked: the progress bar is the
        // packed file, which the reader's place is told in.
        viewer.emplace(DemoUnpacked().packed);
        viewer->idle = [] {
          Main->ServeStanding();
          emscripten_sleep(kStandingRestMs);
        };
        viewer->onStanding = [](std::int64_t at) { js_demo_stood(static_cast<double>(at)); };
        if (frame > 0) viewer->SetPaused(true), viewer->SeekToFrame(frame);
        player.viewer = &*viewer;
        return player.Play();
      },
      [](const Verdict::Line& said) { js_demo_line(said.text.c_str()); });
  js_demo_played();
}

// The next run's seeds: the challenge's, when the page asked for one, for
// every game of it; otherwise each game's own, from the clock.
void TakeChallenge(WebWindow& window) {
  char code[64] = {};
  std::optional<std::uint64_t> seed;
  if (js_challenge_take(code, sizeof code) != 0) seed = ChallengeSeed(code);
  window.SetChallenge(seed);
  js_challenge_run(seed ? code : "");
}

// One run, from a state as the program starts in, recorded into the page's
// memory until a demo waits or the page asks for a challenge.
void RecordRun(WebWindow& window) {
  TakeChallenge(window);
  G = GameState{};
  ResetRnd();
  window.SetWaitChecked(true);
  DemoRecorder recorder(std::make_unique<MemoryOutput>(recording));
  recorder.onGameRecorded = [](const Trailer&) { js_run(1); };
  js_run(0);
  RunGame(&recorder, [](const std::string& what) { js_demo_line(("ZORVA: " + what).c_str()); });
  js_run(2);
}

}  // namespace

std::unique_ptr<Packer> OpenPacker() { return std::make_unique<PagePacker>(); }
std::unique_ptr<Unpacker> OpenUnpacker() { return std::make_unique<PageUnpacker>(); }

bool DemoWaiting() { return js_demo_waiting() || js_challenge_asked(); }

void RunPage(WebWindow& window) {
  for (;;) {
    char name[256] = {};
    double frame = 0;
    if (js_demo_take(name, sizeof name, &frame) != 0) {
      playing = std::exchange(waiting, {});
      PlayOnPage(name, playing, static_cast<std::int64_t>(frame));
      playing = {};
    } else {
      RecordRun(window);
    }
  }
}

}  // namespace zorva

extern "C" {

// Room for a demo file of `size` bytes handed over by the page, to be played
// next (it replaces one still waiting); null when the memory cannot be had.
EMSCRIPTEN_KEEPALIVE std::uint8_t* zorva_demo_room(int size) {
  using zorva::waiting;
  waiting = {};
  const auto n = static_cast<std::size_t>(std::max(size, 0));
  waiting.bytes.reset(new (std::nothrow) std::uint8_t[n]);
  if (waiting.bytes) waiting.size = n;
  return waiting.bytes.get();
}

// The run's recording as it stands: where it lies and its size.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* zorva_recording() { return zorva::recording.data(); }
EMSCRIPTEN_KEEPALIVE int zorva_recording_size() { return static_cast<int>(zorva::recording.size()); }

}  // extern "C"
