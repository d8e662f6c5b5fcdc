#include "run/run.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "base/files.h"
#include "demo/verify.h"
#include "demo/viewer.h"
#include "flow/form.h"

namespace zorva {

namespace {

// While a playback stands on a frame, the window is served this often (ms):
// the viewer's keys answer within about a display refresh.
constexpr int kStandingRestMs = 5;

// A file opened by ReadOnlyFile as a demo's source. As a stream does, once
// it has come to the end it reads nothing more until it is sent elsewhere.
class FileSource final : public DemoSource {
 public:
  explicit FileSource(const ReadOnlyFile& file) : file_(file) {}

  std::size_t Read(std::uint8_t* to, std::size_t n) override {
    std::size_t got = 0;
    while (got < n && !ended_) {
      const std::size_t piece = file_.ReadAt(at_, to + got, n - got);
      ended_ = piece == 0;
      at_ += piece;
      got += piece;
    }
    return got;
  }
  bool Seek(std::uint64_t at) override {
    at_ = at;
    ended_ = false;
    return true;
  }

 private:
  const ReadOnlyFile& file_;
  std::uint64_t at_ = 0;
  bool ended_ = false;
};

// The damage the rest of the demo shows, if any: read on after a desync, a
// file damaged inside its compressed stream shows it there (the stream's own
// checks, records that cannot follow each other, the stream's checksum at
// its end). A file cut short says nothing either way.
std::string DamageAhead(DemoReader& reader) {
  try {
    while (reader.Next().kind != DemoReader::Kind::End) {
    }
  } catch (const DemoCut&) {
  } catch (const DemoError& e) {
    return e.what();
  }
  return {};
}

// A line of the verdict on the demo `path`, as `program` says it.
std::string AboutDemo(const std::string& program, const std::string& path, const std::string& what) {
  return program + ": " + PrintablePath(path) + ": " + what;
}

}  // namespace

Verdict PlayDemoFile(const std::string& program, const std::string& path, bool paced, bool verify,
                     const std::function<PlaybackResult(DemoPlayer&)>& play,
                     const std::function<void(const Verdict::Line&)>& said) {
  std::string why;
  const ReadOnlyFile file = ReadOnlyFile::Open(path, why);
  if (!file.IsOpen()) {
    Verdict verdict{2, {{AboutDemo(program, path, "cannot read the demo: " + why), true}}};
    if (said) said(verdict.lines.back());
    return verdict;
  }
  FileSource source(file);
  return PlayDemo(program, path, source, file.Size(), paced, verify, play, said);
}

Verdict PlayDemo(const std::string& program, const std::string& path, DemoSource& source, std::uint64_t size,
                 bool paced, bool verify, const std::function<PlaybackResult(DemoPlayer&)>& play,
                 const std::function<void(const Verdict::Line&)>& said) {
  Verdict verdict;
  const auto say = [&](std::string text, bool error = false) {
    verdict.lines.push_back({std::move(text), error});
    if (said) said(verdict.lines.back());
  };
  const auto fail = [&](int status, const std::string& why) {
    say(AboutDemo(program, path, why), true);
    verdict.status = status;
    return verdict;
  };
  if (size > kDemoMaxFileBytes) return fail(2, kDemoTooLarge);
  std::optional<DemoReader> reader;
  std::optional<DemoPlayer> player;
  Verifier verifier;
  try {
    reader.emplace(source, kDemoResumeEvery);
    player.emplace(*reader, paced);
    player->fileBytes = size;
    int game = 0;
    if (verify) player->verifier = &verifier;
    player->onGameEnds = [&](const Trailer& t) {
      say("game " + std::to_string(++game) + ": " + DescribeEnd(t) + ": " +
          (verify ? verifier.Verdict(t) : "as recorded"));
    };
    const PlaybackResult result = play(*player);
    if (result.stopped) {
      say("stopped at frame " + std::to_string(result.frames));
    } else if (result.games == 0) {
      return fail(2, "the demo holds no games");
    }
  } catch (const ProgramEnded& end) {
    verdict.status = end.status;  // the window has said why
  } catch (const RuleBreak& e) {
    return fail(1, e.what());
  } catch (const Desync& e) {
    if (const std::string damage = DamageAhead(*reader); !damage.empty()) {
      return fail(2, damage + ", after the playback left it at frame " + std::to_string(e.frame));
    }
    return fail(1, e.what());
  } catch (const DemoError& e) {
    const std::int64_t frame = player ? player->Frame() : 0;
    return fail(2, e.what() + (frame > 0 ? ", at frame " + std::to_string(frame) : std::string()));
  } catch (const std::exception& e) {
    return fail(1, e.what());
  }
  return verdict;
}

void ReportRecording(DemoRecorder& recorder, const std::string& program, const Voice& voice) {
  recorder.onGameRecorded = [game = 0, &voice](const Trailer& t) mutable {
    voice.report("recorded game " + std::to_string(++game) + ": " + DescribeEnd(t) + "\n", false);
  };
  recorder.onError = [program, &voice](const std::string& why) {
    voice.report(program + ": " + why + "; the recording stops (the games recorded before stay in the file)\n", true);
  };
}

int RunGame(DemoRecorder* recorder, const std::function<void(const std::string&)>& failed) {
  if (recorder) Main->SetInputTap(recorder);
  int status = 0;
  try {
    Form_Load();
  } catch (const ProgramEnded& end) {
    status = end.status;
  } catch (const std::exception& error) {
    failed(error.what());
    status = 1;
  }
  Main->SetInputTap(nullptr);
  if (recorder) {
    recorder->Finish();
    if (recorder->Failed()) status = 1;
  }
  return status;
}

namespace {

// The demo of the command line played back in `window`, at its pace, with the
// viewer's controls: the status of its verdict.
int Watch(DesktopWindow& window, const CommandLine& line, const Voice& voice) {
  const auto play = [&window, &line](DemoPlayer& player) {
    player.stopRequested = [&window] { return window.StopRequested(); };
    Viewer viewer(player.FileBytes());
    viewer.idle = [&window] {
      window.ServeStanding();
      std::this_thread::sleep_for(std::chrono::milliseconds(kStandingRestMs));
    };
    if (line.frame > 0) viewer.SetPaused(true), viewer.SeekToFrame(line.frame);
    player.viewer = &viewer;
    return player.Play();
  };
  return PlayDemoFile("zorva", line.play, true, false, play,
                      [&voice](const Verdict::Line& said) { voice.report(said.text + "\n", said.error); })
      .status;
}

}  // namespace

int RunDesktop(const std::vector<std::string_view>& args, const std::string& soundFile, const Voice& voice,
               const std::function<std::unique_ptr<DesktopWindow>(const WindowOptions&)>& open) {
  const CommandLine line = ParseCommandLine(args);
  switch (line.action) {
    case CommandLine::Action::Error: voice.say("zorva: " + line.error + "; " + UsageLine() + "\n", true); return 2;
    case CommandLine::Action::Help: voice.say(HelpText(soundFile), false); return 0;
    case CommandLine::Action::Version: voice.say(VersionText() + "\n", false); return 0;
    case CommandLine::Action::Play: break;
  }

  // Every game of the run, as it is played. The file named takes the
  // recording only once it holds a whole game.
  std::optional<DemoRecorder> recorder;
  if (!line.record.empty()) {
    try {
      recorder.emplace(line.record);
    } catch (const DemoError& error) {
      voice.say(std::string("zorva: ") + error.what() + "\n", true);
      return 1;
    }
    ReportRecording(*recorder, "zorva", voice);
  }

  std::unique_ptr<DesktopWindow> window;
  try {
    WindowOptions options = line.options;
    options.playback = !line.play.empty();
    window = open(options);
  } catch (const std::exception& error) {
    voice.say(std::string("zorva: ") + error.what() + "\n", true);
    return 1;
  }
  Main = window.get();
  window->SetChallenge(line.challenge);
  int status = 0;
  if (!line.play.empty()) {
    status = Watch(*window, line, voice);
  } else {
    status = RunGame(recorder ? &*recorder : nullptr, [&](const std::string& what) {
      voice.report("zorva: " + what + "\n", true);
      window->Alert(what);
    });
  }
  if (!window->FrameLogError().empty()) {
    voice.say("zorva: " + window->FrameLogError() + "\n", true);
    status = 1;
  }
  window->End();
  Main = nullptr;
  return status;
}

}  // namespace zorva
