#include "sim/replay.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "base/rnd.h"
#include "demo/viewer.h"
#include "flow/form.h"
#include "present/images.h"
#include "rules/state.h"
#include "sim/png.h"
#include "sim/sim_window.h"

namespace zorva {

namespace {

// What is kept of a pass until its record is written.
struct PassRecord {
  std::int64_t pass = 0;
  Loop loop = Loop::Title;
  std::int64_t clockStart = 0;
  int sounds = 0;
  std::vector<std::string> mci;
  std::string status;
};

void AppendJsonString(std::string& out, const std::string& s) {
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

class Json {
 public:
  void Key(const char* name) {
    out_ += first_ ? "{\"" : ",\"";
    first_ = false;
    out_ += name;
    out_ += "\":";
  }
  void Int(const char* name, std::int64_t v) {
    Key(name);
    AppendInt(v);
  }
  void Bool(const char* name, bool v) {
    Key(name);
    out_ += v ? "true" : "false";
  }
  void String(const char* name, const std::string& v) {
    Key(name);
    AppendJsonString(out_, v);
  }
  // A game variable as the table describes it: whole numbers, singles and
  // doubles each in their own notation, a table as a list of its dumped slots.
  template <class Member>
  void Variable(const zorva::Variable& var, const Member& m) {
    Key(var.name);
    if constexpr (std::is_arithmetic_v<Member>) {
      Append(m);
    } else {
      out_ += '[';
      for (int i = 0; i < var.dumped; ++i) {
        if (i) out_ += ',';
        Append(m[static_cast<std::size_t>(i)]);
      }
      out_ += ']';
    }
  }
  void Strings(const char* name, const std::vector<std::string>& v) {
    List(name, v.size(), [&](std::size_t i) { AppendJsonString(out_, v[i]); });
  }
  std::string Finish() {
    out_ += "}\n";
    return std::move(out_);
  }

 private:
  // A JSON array of n elements, each written by each(i).
  template <class Each>
  void List(const char* name, std::size_t n, Each each) {
    Key(name);
    out_ += '[';
    for (std::size_t i = 0; i < n; ++i) {
      if (i) out_ += ',';
      each(i);
    }
    out_ += ']';
  }
  template <class T>
  void Append(T v) {
    if constexpr (std::is_same_v<T, float>) AppendSingle(v);
    else if constexpr (std::is_same_v<T, double>) AppendDouble(v);
    else AppendInt(v);
  }
  void AppendInt(std::int64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64, v);
    out_ += buf;
  }
  // 9 significant digits read back to the same single, 17 to the same double.
  void AppendSingle(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    out_ += buf;
  }
  void AppendDouble(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    out_ += buf;
  }
  std::string out_;
  bool first_ = true;
};

// Runs a script, or plays a demo back when given its player (and no script).
class ReplayWindow : public SimWindow {
 public:
  ReplayWindow(const std::vector<ScriptLine>* script, const DemoPlayer* player, const SimOptions& options)
      : SimWindow(options.clock, options.work), script_(script), player_(player), options_(options) {
    SetSeedBase(options.seed);
    SetChallenge(options.challenge);
    SetProgramFolder(options.programFolder);
  }

  SimResult result;

  void OnPassBegins(Loop loop) override {
    if (script_ != nullptr) TakeScriptLine();
    PassRecord record;
    // Playing back, the recording's own numbers, wherever the viewer went.
    record.pass = player_ != nullptr ? player_->Pass() : result.passes;
    ++result.passes;
    record.loop = loop;
    record.clockStart = Now();
    if (loop == Loop::Game) ++result.frames;
    stack_.push_back(std::move(record));
  }

  void OnPassEnds(bool endsGame) override {
    if (stack_.empty()) return;
    Write(stack_.back(), endsGame, false);
    const Loop loop = stack_.back().loop;
    stack_.pop_back();
    if (options_.afterPass) options_.afterPass(loop, endsGame);
    if (player_ != nullptr && options_.to > 0 && player_->Frame() >= options_.to) throw ProgramEnded{0};
  }

  void sndPlaySoundA(const std::string& file, unsigned flags) override {
    SimWindow::sndPlaySoundA(file, flags);
    if (!stack_.empty()) ++stack_.back().sounds;
  }

  void mciSendStringA(const std::string& command) override {
    SimWindow::mciSendStringA(command);
    if (!stack_.empty()) stack_.back().mci.push_back(command);
  }

  void StatusPrinted(const std::string& text) override {
    if (!stack_.empty()) stack_.back().status = text;
  }

  std::uint64_t NewSeed() override {
    ++result.games;
    return SimWindow::NewSeed();
  }

  void End() override {
    SimWindow::End();
    // The pass that served the close is still recorded; a title pass that was
    // running a game around it is not.
    if (!stack_.empty()) Write(stack_.back(), false, true);
    stack_.clear();
  }

 private:
  // The simulated clock; playing back, the clock as the demo gave it.
  std::int64_t Now() const { return player_ != nullptr ? player_->LastReading() : Clock(); }

  void TakeScriptLine() {
    bool first = false;
    if (remaining_ == 0) {
      if (next_ < script_->size()) {
        line_ = (*script_)[next_++];
      } else {
        // After the last line: one more pass with no key, closed in its pump.
        line_ = ScriptLine{};
        line_.close = true;
      }
      remaining_ = line_.count;
      first = true;
    }
    --remaining_;
    if (first) {
      if (line_.tapLeft) Tap(VK_LEFT);
      if (line_.tapRight) Tap(VK_RIGHT);
      if (line_.tapSpace) Tap(VK_SPACE);
      if (line_.clickWait) ClickWaitInNextPump();
      if (line_.close) CloseInNextPump();
      if (line_.work) SetWork(*line_.work);
    }
    Hold(VK_LEFT, line_.holdLeft);
    Hold(VK_RIGHT, line_.holdRight);
    Hold(VK_SPACE, line_.holdSpace);
  }

  void Hold(int vk, bool held) {
    if (held) Press(vk);
    else Release(vk);
  }

  void Write(const PassRecord& r, bool endsGame, bool closed) {
    if (player_ != nullptr &&
        (player_->Frame() < options_.from || (options_.to > 0 && player_->Frame() > options_.to))) {
      return;
    }
    const bool png = !options_.pngDir.empty() && r.pass % options_.pngEvery == 0;
    if (png) {
      char name[32];
      std::snprintf(name, sizeof name, "/pass-%06" PRId64 ".png", r.pass);
      WriteCanvasPng(Crt, options_.pngDir + name);
    }
    if (options_.dump == nullptr) return;
    Json j;
    j.Int("pass", r.pass);
    j.String("loop", r.loop == Loop::Title ? "title" : "game");
    j.Bool("ends_game", endsGame);
    j.Bool("closed", closed);
    j.Int("clock_start", r.clockStart);
    j.Int("clock_end", Now());
    j.Bool("wait", WaitChecked());
    j.Int("sounds", r.sounds);
    j.Strings("mci", r.mci);
    j.String("status", r.status);
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, CanvasHash(Crt));
    j.String("canvas", hash);
    EachVariable(G, [&j](const Variable& var, const auto& member) { j.Variable(var, member); });
    const std::string line = j.Finish();
    options_.dump->write(line.data(), static_cast<std::streamsize>(line.size()));
  }

  const std::vector<ScriptLine>* script_;
  const DemoPlayer* player_;
  const SimOptions& options_;
  std::size_t next_ = 0;
  ScriptLine line_;
  std::int64_t remaining_ = 0;
  std::vector<PassRecord> stack_;
};

}  // namespace

namespace {
// Runs start-up on `window` as `Main` until the window is closed.
void RunOn(ReplayWindow& window, const std::function<void()>& run) {
  LoadWindowImages(window);
  Window* const previous = Main;
  Main = &window;
  try {
    run();
  } catch (const ProgramEnded&) {
  } catch (...) {
    Main = previous;
    throw;
  }
  Main = previous;
}
}  // namespace

SimResult RunSimulation(const std::vector<ScriptLine>& script, const SimOptions& options) {
  ResetGameState();
  ResetRnd();
  ReplayWindow window(&script, nullptr, options);
  std::optional<DemoRecorder> recorder;
  if (!options.record.empty()) {
    recorder.emplace(options.record);
    recorder->onError = options.onRecordError;
    window.SetInputTap(&*recorder);
  }
  RunOn(window, Form_Load);
  if (recorder) {
    recorder->Finish();
    window.result.recordFailed = recorder->Failed();
  }
  return window.result;
}

PlaybackResult RunPlayback(DemoPlayer& player, const SimOptions& options) {
  ResetGameState();
  ResetRnd();
  ReplayWindow window(nullptr, &player, options);
  // The first frame written is reached as a viewer's seek reaches it.
  Viewer viewer(player.FileBytes());
  if (options.from > 1 && player.viewer == nullptr) {
    viewer.SeekToFrame(options.from);
    player.viewer = &viewer;
  }
  struct Let {
    DemoPlayer& player;
    Viewer& viewer;
    ~Let() {
      if (player.viewer == &viewer) player.viewer = nullptr;
    }
  } let{player, viewer};
  PlaybackResult result;
  RunOn(window, [&] { result = player.Play(); });
  return result;
}

}  // namespace zorva
