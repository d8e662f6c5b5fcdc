// The real game: its command line, the SDL window with its images, and the
// run (run/run.h), until the window is closed or the demo played back ends.
#define SDL_MAIN_HANDLED
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "present/images.h"
#include "run/run.h"
#include "sdl/sdl_window.h"

// The desktop's message bus library keeps a little memory until the process
// ends; a build with the leak checker should not count it against the game.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
  using namespace zorva;
  const auto print = [](const std::string& text, bool error) {
    std::fputs(text.c_str(), error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
  };
  return RunDesktop(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc),
                    ProgramFolder(argc > 0 ? argv[0] : nullptr) + "/効果音.wav", {print, print},
                    [](const WindowOptions& options) {
                      SDL_SetMainReady();
                      auto window = std::make_unique<SdlWindow>(options);
                      LoadWindowImages(*window);
                      window->SetIcon(WindowIcon());
                      return window;
                    });
}
