// One run for every program: what a program does once it has a window, from
// its command line to its exit status. The desktop programs (zorva on SDL and
// on Windows) read their command line, record every game of the run or play
// a demo back, and report, through RunDesktop; the page and zorva-sim record
// with RunGame and play files back with PlayDemoFile, which each program
// prints the verdict of in its own way.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo.h"
#include "frame/command_line.h"
#include "frame/desktop_window.h"

namespace zorva {

// How a program speaks to the one who started it: `say` for what it says
// before and after the run (the help, a mistake on the command line, why the
// window cannot open), `report` for the lines of the run itself (each game
// recorded, a recording that fails, the lines of a playback). Both end each
// line with a line end.
struct Voice {
  std::function<void(const std::string&text, bool error)> say, report;
};

// A program's verdict on a demo file: each game's line ("game 1: score 120,
// 412 frames, last canvas ...: as recorded", or "verified, ..."), a stop
// ("stopped at frame N"), and for a file that cannot be played or a game that
// breaks the rules the line "PROGRAM: PATH: why"; and the exit status (2: a
// file that cannot be played, 1: a desync or a game the rules do not allow, or
// the window's own status when it ended the program).
struct Verdict {
  struct Line {
    std::string text;
    bool error = false;  // the refusal, for standard error
  };
  int status = 0;
  std::vector<Line> lines;
};

// Plays the demo file `path` with `play` (which runs the player on `Main`),
// verifying each game when `verify`, and tells `said` each line of the verdict
// as it comes. A desync is first checked against the rest of the file: damage
// found there is what is reported.
Verdict PlayDemoFile(const std::string& program, const std::string& path, bool paced, bool verify,
                     const std::function<PlaybackResult(DemoPlayer&)>& play,
                     const std::function<void(const Verdict::Line&)>& said = {});
// The same for a demo already open: `source` holds its `size` bytes, and
// `path` names it in the lines.
Verdict PlayDemo(const std::string& program, const std::string& path, DemoSource& source, std::uint64_t size,
                 bool paced, bool verify, const std::function<PlaybackResult(DemoPlayer&)>& play,
                 const std::function<void(const Verdict::Line&)>& said = {});

// Tells `voice` of each game recorded and of a recording that stops for an
// error, as `program`.
void ReportRecording(DemoRecorder& recorder, const std::string& program, const Voice& voice);

// Runs the game from Form_Load on `Main`, with `recorder` (if any) taking
// every game, until the window ends the program, then finishes the recording.
// `failed` is told a run-time error. Returns the end's status: 1 after an
// error or a recording that failed.
int RunGame(DemoRecorder* recorder, const std::function<void(const std::string&)>& failed);

// What a desktop program does with its arguments: says the help, the version
// or the mistake (status 0 or 2), makes the recording, opens the window with
// `open` (StartupError: status 1), plays the demo back or runs the game, and
// reports. `soundFile` is where the help says the sound is read from.
int RunDesktop(const std::vector<std::string_view>& args, const std::string& soundFile, const Voice& voice,
               const std::function<std::unique_ptr<DesktopWindow>(const WindowOptions&)>& open);

}  // namespace zorva
