// The real game: reads the command line, opens the window, loads its images
// and hands over to the window's load event, which runs until the window is
// closed; or plays a demo back in the window.
#define SDL_MAIN_HANDLED
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "demo/demo.h"
#include "flow/form.h"
#include "present/images.h"
#include "sdl/sdl_window.h"

// The desktop's message bus library keeps a little memory until the process
// ends; a build with the leak checker should not count it against the game.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
  using namespace zorva;
  const CommandLine line = ParseCommandLine(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
  switch (line.action) {
    case CommandLine::Action::Error:
      std::fprintf(stderr, "zorva: %s; %s\n", line.error.c_str(), UsageLine().c_str());
      return 2;
    case CommandLine::Action::Help:
      std::fputs(HelpText(ProgramFolder(argc > 0 ? argv[0] : nullptr) + "/効果音.wav").c_str(), stdout);
      return 0;
    case CommandLine::Action::Version: std::printf("%s\n", VersionText().c_str()); return 0;
    case CommandLine::Action::Play: break;
  }
  SDL_SetMainReady();

  // Every game of the run, as it is played. The file named takes the
  // recording only once it holds a whole game.
  std::optional<DemoRecorder> recorder;
  if (!line.record.empty()) {
    try {
      recorder.emplace(line.record);
    } catch (const DemoError& error) {
      std::fprintf(stderr, "zorva: %s\n", error.what());
      return 1;
    }
    ReportRecording(*recorder, "zorva");
  }

  std::unique_ptr<SdlWindow> window;
  try {
    window = std::make_unique<SdlWindow>(line.options);
    LoadWindowImages(*window);
    window->SetIcon(WindowIcon());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zorva: %s\n", error.what());
    return 1;
  }

  Main = window.get();
  int status = RunProgram(
      "zorva", line.play, recorder ? &*recorder : nullptr, [&window] { return window->StopRequested(); },
      [&window](const char* what) {
        // Plain letters: not every desktop has a font for the caption's wide ones.
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "ZORVA", what, window->Handle());
      });
  if (!window->FrameLogError().empty()) {
    std::fprintf(stderr, "zorva: %s\n", window->FrameLogError().c_str());
    status = 1;
  }
  window->End();
  Main = nullptr;
  return status;
}
