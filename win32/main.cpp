// The real game on Windows: its command line (in UTF-16, so that any file
// name comes through), the Win32 window with its images, and the run
// (run/run.h), until the window is closed or the demo played back ends.
#include "win32/windows_api.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "platform/wide.h"
#include "present/images.h"
#include "run/run.h"
#include "win32/win32_window.h"

namespace {

// Says something to the one who started the program: on standard output or
// standard error when they lead somewhere (a console or a file), else in a
// message box.
void Say(const std::string& text, bool error) {
  const HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    if (GetFileType(out) == FILE_TYPE_CHAR) {
      const std::wstring wide = zorva::Wide(text);
      if (WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return;
    }
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      const std::wstring wide = zorva::Wide(text);
      const bool done = WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      CloseHandle(console);
      if (done) return;
    }
  }
  MessageBoxW(nullptr, zorva::Wide(text).c_str(), zorva::Wide(zorva::kCaption).c_str(),
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace zorva;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  // The lines of the run go where the program's standard output and error lead, if anywhere.
  const auto report = [](const std::string& text, bool error) {
    std::fputs(text.c_str(), error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
  };
  return RunDesktop(std::vector<std::string_view>(args.begin(), args.end()), ProgramFolder(nullptr) + "\\効果音.wav",
                    {Say, report}, [](const WindowOptions& options) {
                      auto window = std::make_unique<Win32Window>(options);
                      LoadWindowImages(*window);
                      return window;
                    });
}
