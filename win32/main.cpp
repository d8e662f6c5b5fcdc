// The real game on Windows: reads the command line (in UTF-16, so that any
// file name comes through), opens the window, loads its images and hands over
// to the window's load event, which runs until the window is closed; or plays
// a demo back in the window.
#include "win32/windows_api.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo.h"
#include "flow/form.h"
#include "platform/wide.h"
#include "present/images.h"
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
  const CommandLine line = ParseCommandLine(std::vector<std::string_view>(args.begin(), args.end()));
  switch (line.action) {
    case CommandLine::Action::Error: Say("zorva: " + line.error + "; " + UsageLine() + "\n", true); return 2;
    case CommandLine::Action::Help: Say(HelpText(ProgramFolder(nullptr) + "\\効果音.wav"), false); return 0;
    case CommandLine::Action::Version: Say(VersionText() + "\n", false); return 0;
    case CommandLine::Action::Play: break;
  }

  // Every game of the run, as it is played.
  std::optional<DemoRecorder> recorder;
  if (!line.record.empty()) {
    try {
      recorder.emplace(line.record);
    } catch (const DemoError& error) {
      Say(std::string("zorva: ") + error.what() + "\n", true);
      return 1;
    }
    ReportRecording(*recorder, "zorva");
  }

  std::unique_ptr<Win32Window> window;
  try {
    window = std::make_unique<Win32Window>(line.options);
    LoadWindowImages(*window);
  } catch (const std::exception& error) {
    Say(std::string("zorva: ") + error.what() + "\n", true);
    return 1;
  }

  Main = window.get();
  int status = RunProgram(
      "zorva", line.play, recorder ? &*recorder : nullptr, [&window] { return window->StopRequested(); },
      [&window](const char* what) {
        MessageBoxW(window->Handle(), Wide(what).c_str(), Wide(kCaption).c_str(), MB_OK | MB_ICONERROR);
      });
  if (!window->FrameLogError().empty()) {
    Say("zorva: " + window->FrameLogError() + "\n", true);
    status = 1;
  }
  window->End();
  Main = nullptr;
  return status;
}
