#include "win32/win32_window.h"

#include <algorithm>
#include <cstdio>

#include "flow/form.h"
#include "platform/wide.h"
#include "rules/state.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace zorva {

namespace {

constexpr const wchar_t* kClass = L"ZorvaWindow";
constexpr UINT kWaitItem = 2;  // the menu command of OPTION -> WAIT
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;

// XInput's buttons in the pads' one layout.
constexpr std::pair<unsigned, unsigned> kPadButtons[] = {
    {XINPUT_GAMEPAD_DPAD_LEFT, kPadLeft},
    {XINPUT_GAMEPAD_DPAD_RIGHT, kPadRight},
    {XINPUT_GAMEPAD_DPAD_UP, kPadUp},
    {XINPUT_GAMEPAD_DPAD_DOWN, kPadDown},
    {XINPUT_GAMEPAD_A, kPadSouth},
    {XINPUT_GAMEPAD_B, kPadEast},
    {XINPUT_GAMEPAD_X, kPadWest},
    {XINPUT_GAMEPAD_Y, kPadNorth},
    {XINPUT_GAMEPAD_START, kPadStart},
    {XINPUT_GAMEPAD_BACK, kPadBack},
    {XINPUT_GAMEPAD_LEFT_SHOULDER, kPadLeftShoulder},
    {XINPUT_GAMEPAD_RIGHT_SHOULDER, kPadRightShoulder},
};

// The system's virtual key codes are the game's own.
bool IsGameKey(WPARAM vk) {
  return std::find(kGameKeys.begin(), kGameKeys.end(), static_cast<int>(vk)) != kGameKeys.end() ||
         ViewCommandOfKey(static_cast<int>(vk)) != ViewCommand::None;
}

// Parts of a second in ticks of `frequency`, without overflow.
std::int64_t Scale(std::int64_t value, std::int64_t from, std::int64_t to) {
  return value / from * to + value % from * to / from;
}

}  // namespace

CanvasPlace FitCanvas(int w, int h, int rows) {
  const int scale = std::max(1, std::min(w / kCanvasSize, h / rows));
  return {scale, (w - kCanvasSize * scale) / 2, (h - rows * scale) / 2};
}

unsigned PadControls(unsigned buttons) {
  unsigned controls = 0;
  for (const auto& [button, control] : kPadButtons) controls |= (buttons & button) != 0 ? control : 0;
  return controls;
}

Win32Window::Win32Window(WindowOptions options)
    : DesktopWindow(std::move(options)),
      top_(Options().playback ? 0 : kMenuBarHeight),
      rows_(Options().playback ? kPictureHeight : kCanvasSize),
      canvas_(static_cast<std::size_t>(kCanvasSize * rows_)) {
  LARGE_INTEGER counter{}, frequency{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  frequency_ = std::max<std::int64_t>(frequency.QuadPart, 1);
  origin_ = counter.QuadPart - Scale(kClockLeadMs, 1000, frequency_);
  Opening([this] {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Window::Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      throw StartupError("cannot register the window class");
    }
    // A playback has no menu: its bar shows where it stands in the menu's place.
    if (!Options().playback) {
      menu_ = CreateMenu();
      option_ = CreatePopupMenu();
      AppendMenuW(option_, MF_STRING | MF_CHECKED, kWaitItem, L"WAIT");
      AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(option_), L"OPTION");
    }
    window_ = CreateWindowExW(0, kClass, Wide(kCaption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, kCanvasSize,
                              kCanvasSize, nullptr, menu_, instance, this);
    if (window_ == nullptr) {
      DestroyMenu(menu_);
      menu_ = nullptr;
      throw StartupError("no display: cannot create the window");
    }
    // The pacing wait sleeps to its deadline on a high-resolution timer, or
    // where there is none, on a plain one with the system's timer at 1 ms.
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
      timer_ = CreateWaitableTimerW(nullptr, TRUE, nullptr);
      period_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    if (Options().sound) audio_ = std::make_unique<WaveOut>();
    MeasureRefresh();
  });
}

void Win32Window::End() {
  if (audio_) audio_->Close();
  audio_.reset();
  if (window_ != nullptr) DestroyWindow(window_);  // the menu goes with it
  window_ = nullptr;
  menu_ = option_ = nullptr;
  if (timer_ != nullptr) CloseHandle(timer_);
  timer_ = nullptr;
  if (period_) timeEndPeriod(1);
  period_ = false;
  ForgetKeys();
}

// The clock.

std::int64_t Win32Window::Ticks() const {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart - origin_;
}

std::int64_t Win32Window::Micros() const { return Scale(Ticks(), frequency_, 1000000); }

void Win32Window::SleepUntil(std::int64_t micros) {
  const std::int64_t tick = Scale(micros, 1000000, frequency_);
  // The timer may wake up to a millisecond late: it is set that much early,
  // and the rest is given away a time slice at a time.
  const std::int64_t early = tick - frequency_ / 1000;
  for (std::int64_t now = Ticks(); now < early && timer_ != nullptr; now = Ticks()) {
    // Negative: relative, in units of 100 ns.
    LARGE_INTEGER due{};
    due.QuadPart = -std::max<std::int64_t>(Scale(early - now, frequency_, 10000000), 1);
    if (!SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) break;
    WaitForSingleObject(timer_, INFINITE);
  }
  while (Ticks() < tick) {
    if (!SwitchToThread()) Sleep(0);
  }
}

std::uint64_t Win32Window::NewSeed() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t since1601 = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  return (since1601 - 116444736000000000ull) / 10000;  // milliseconds since 1970
}

// Sound and the multimedia command.

void Win32Window::sndPlaySoundA(const std::string& file, unsigned) {
  if (audio_) audio_->Play(file);
}

void Win32Window::mciSendStringA(const std::string&) {}

void Win32Window::ShowMark() {
  if (option_ == nullptr || markShown_ == WaitChecked()) return;
  markShown_ = WaitChecked();
  CheckMenuItem(option_, kWaitItem, MF_BYCOMMAND | (markShown_ ? MF_CHECKED : MF_UNCHECKED));
}

// The window.

void Win32Window::ShowMain() {
  if (window_ == nullptr) return;
  // The canvas in the display's own pixels: at 144 dots per inch, a window
  // of scale 1 is 486 pixels across and shows the canvas at 1x; at 192, 2x.
  const UINT dpi = std::max(GetDpiForWindow(window_), 96u);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& room = monitor.rcWork;
  RECT frame{};
  int scale = Options().scale;
  for (;; --scale) {
    frame = {0, 0, MulDiv(kCanvasSize * scale, static_cast<int>(dpi), 96),
             MulDiv(rows_ * scale, static_cast<int>(dpi), 96)};
    AdjustWindowRectExForDpi(&frame, kStyle, menu_ != nullptr, 0, dpi);
    if (scale == 1 ||
        (frame.right - frame.left <= room.right - room.left && frame.bottom - frame.top <= room.bottom - room.top)) {
      break;
    }
  }
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  if (!IsZoomed(window_) && !IsIconic(window_) && !fullscreen_) {
    SetWindowPos(window_, nullptr, room.left + (room.right - room.left - w) / 2,
                 room.top + (room.bottom - room.top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowTextW(window_, Wide(kCaption).c_str());
  ShowWindow(window_, SW_SHOW);
  if (Options().fullscreen && !fullscreen_) ToggleFullscreen();
  SetForegroundWindow(window_);
  FocusChanged(GetFocus() == window_);
  MeasureRefresh();
}

void Win32Window::ToggleFullscreen() {
  if (!fullscreen_) {
    placement_.length = sizeof placement_;
    GetWindowPlacement(window_, &placement_);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& r = monitor.rcMonitor;
    SetWindowLongPtrW(window_, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    SetWindowPos(window_, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
  } else {
    SetWindowLongPtrW(window_, GWL_STYLE, kStyle | WS_VISIBLE);
    SetWindowPlacement(window_, &placement_);
    SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  fullscreen_ = !fullscreen_;
}

void Win32Window::MeasureRefresh() {
  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  int rate = 60;
  if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1) {
    rate = static_cast<int>(mode.dmDisplayFrequency);
  }
  SetRefreshMicros(1000000 / std::clamp(rate, 24, 500));
}

// Keys and gamepads.

// The key messages at the head of the queue are served here, in their order,
// as the pump would serve them; serving stops at the first message of any
// other kind, so the system keys (Alt+Enter, Alt+F4, the menu's Alt), a click
// that may open the menu and the close stay for the pump, and every key still
// meets the focus and the menu it met there.
void Win32Window::ServeKeys() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && message.hwnd == window_ &&
         (message.message == WM_KEYDOWN || message.message == WM_KEYUP)) {
    PeekMessageW(&message, window_, message.message, message.message, PM_REMOVE);
    Serve(message.message, message.wParam, message.lParam);
  }
  PollPads();
}

void Win32Window::PollPads() {
  // Asking for a pad that is not there is slow: absent pads are looked for
  // once a second only.
  const std::int64_t now = Scale(Ticks(), frequency_, 1000);  // not a reading of the game's
  const bool search = now - padSearch_ >= 1000;
  if (search) padSearch_ = now;
  unsigned held = 0, controls = 0;  // bits of kHeldKeys, and PadControl bits
  for (DWORD i = 0; i < padPresent_.size(); ++i) {
    if (!padPresent_[i] && !search) continue;
    XINPUT_STATE state{};
    padPresent_[i] = XInputGetState(i, &state) == ERROR_SUCCESS;
    if (!padPresent_[i]) continue;
    held |= PadHolds(PadControls(state.Gamepad.wButtons), state.Gamepad.sThumbLX / 32767.0);
    controls |= PadControls(state.Gamepad.wButtons);
  }
  PadsHold(held, controls);
}

// Messages. Nothing the game does runs inside the window procedure: a click
// on WAIT and the close are noted there and served by the pump after it, so
// the end of the program never unwinds through the system's own frames.

LRESULT CALLBACK Win32Window::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    EnableNonClientDpiScaling(window);
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return DefWindowProcW(window, message, w, l);
  return self->Serve(message, w, l);
}

LRESULT Win32Window::Serve(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CLOSE:
      // Served by the pump; a menu open meanwhile (Alt+F4 leaves the menu
      // bar armed by its Alt) would hold the pump up.
      closing_ = true;
      EndMenu();
      return 0;
    case WM_SYSCOMMAND:
      if ((w & 0xFFF0) == SC_KEYMENU && closing_) return 0;
      break;
    case WM_COMMAND:
      if (LOWORD(w) == kWaitItem) ++clicks_;
      return 0;
    case WM_SETFOCUS: FocusChanged(true); return 0;
    case WM_KILLFOCUS: FocusChanged(false); return 0;
    case WM_SYSKEYDOWN:
      if (w == VK_RETURN) {
        if ((l & (1 << 30)) == 0) ToggleFullscreen();
        return 0;
      }
      break;
    case WM_SYSCHAR:
      if (w == L'\r') return 0;  // Alt+Enter, served above: no beep
      break;
    case WM_KEYDOWN:
    case WM_KEYUP:
      // Bit 30: the key was down already (a repeat).
      if (IsGameKey(w)) KeyChanged(static_cast<int>(w), message == WM_KEYDOWN, (l & (1 << 30)) != 0);
      return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      Paint(BeginPaint(window_, &paint));
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_SIZE: InvalidateRect(window_, nullptr, FALSE); return 0;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
      // A playback's progress bar: the mouse seeks (the game gets no clicks).
      if (message == WM_LBUTTONDOWN || (w & MK_LBUTTON) != 0)
        Seeks(ToPicture(static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))));
      return 0;
    case WM_GETMINMAXINFO: reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = LeastSize(); return 0;
    case WM_DPICHANGED: {
      const RECT* r = reinterpret_cast<const RECT*>(l);
      if (!fullscreen_) {
        SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    }
    case WM_DISPLAYCHANGE: MeasureRefresh(); break;
    default: break;
  }
  return DefWindowProcW(window_, message, w, l);
}

POINT Win32Window::LeastSize() const {
  // The picture at 1x in the display's own pixels, with the window's frame.
  const UINT dpi = std::max(GetDpiForWindow(window_), 96u);
  RECT least{0, 0, MulDiv(kCanvasSize, static_cast<int>(dpi), 96), MulDiv(rows_, static_cast<int>(dpi), 96)};
  AdjustWindowRectExForDpi(&least, kStyle, menu_ != nullptr, 0, dpi);
  return {least.right - least.left, least.bottom - least.top};
}

void Win32Window::Paint(HDC dc) {
  RECT client{};
  GetClientRect(window_, &client);
  const CanvasPlace at = FitCanvas(client.right, client.bottom, rows_);
  const int side = kCanvasSize * at.scale, height = rows_ * at.scale;
  // Black around the canvas.
  const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  const RECT bands[] = {{0, 0, client.right, at.y},
                        {0, at.y + height, client.right, client.bottom},
                        {0, at.y, at.x, at.y + height},
                        {at.x + side, at.y, client.right, at.y + height}};
  for (const RECT& band : bands) {
    if (band.right > band.left && band.bottom > band.top) FillRect(dc, &band, black);
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kCanvasSize;
  info.bmiHeader.biHeight = -rows_;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // Whole multiples, every pixel copied: sharp.
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, at.x, at.y, side, height, 0, 0, kCanvasSize, rows_, canvas_.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

Point Win32Window::ToPicture(int x, int y) const {
  RECT client{};
  GetClientRect(window_, &client);
  const CanvasPlace at = FitCanvas(client.right, client.bottom, rows_);
  const auto floorDiv = [](int a, int b) { return a / b - (a % b != 0 && a < 0 ? 1 : 0); };
  return {floorDiv(x - at.x, at.scale), floorDiv(y - at.y, at.scale) + top_};
}

void Win32Window::Present(bool) {
  // The canvas with its sunken frame, below the picture's own menu bar when
  // the window has a real one; red and blue change places for the DIB.
  for (int y = 0; y < rows_; ++y) {
    const Colour* row = Picture().Row(top_ + y);
    std::uint32_t* out = canvas_.data() + static_cast<std::size_t>(y) * kCanvasSize;
    for (int x = 0; x < kCanvasSize; ++x) {
      const Colour c = row[x];
      out[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
  }
  if (HDC dc = GetDC(window_); dc != nullptr) {
    Paint(dc);
    ReleaseDC(window_, dc);
  }
}

void Win32Window::ServeMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32Window::Alert(const std::string& what) {
  MessageBoxW(window_, Wide(what).c_str(), Wide(kCaption).c_str(), MB_OK | MB_ICONERROR);
}

// The window procedure only notes the close and WAIT, so nothing of the game
// runs here; the close stays noted for the pump.
bool Win32Window::StopRequested() {
  if (window_ == nullptr) return false;
  ServeMessages();
  return closing_ || Held(VK_ESCAPE);
}

void Win32Window::ServeEvents() {
  ServeMessages();
  PollPads();
  for (; clicks_ > 0; --clicks_) MENU002_Click();
  ShowMark();  // also after a demo played back has put the mark back
  if (closing_) {
    closing_ = false;
    Form_Unload();
  }
}

}  // namespace zorva
