#include "sdl/sdl_window.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

#include <SDL_opengl.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "flow/form.h"
#include "rules/state.h"

namespace zorva {

namespace {

using namespace std::chrono_literals;

// Rests the thread until `when` on the monotonic clock. On Linux steady_clock
// is CLOCK_MONOTONIC, so the deadline goes to the kernel as it is.
void RestUntil(std::chrono::steady_clock::time_point when) {
#if defined(__linux__)
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
  if (ns <= 0) return;
  const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
#else
  std::this_thread::sleep_until(when);
#endif
}

// Whether a GL renderer draws with the processor (Mesa's llvmpipe, softpipe or
// swrast: a display with no graphics hardware behind it, such as Xvfb). Each
// of its presents costs several times what SDL's own software renderer needs.
bool RasterisesInSoftware(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(renderer, &info) != 0 || info.name == nullptr) return false;
  if (std::string_view(info.name).rfind("opengl", 0) != 0) return false;  // opengl, opengles2
  using GetString = const GLubyte*(APIENTRY*)(GLenum);
  const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const GLubyte* name = getString != nullptr ? getString(GL_RENDERER) : nullptr;
  if (name == nullptr) return false;
  const std::string_view gl(reinterpret_cast<const char*>(name));
  for (const std::string_view soft : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (gl.find(soft) != std::string_view::npos) return true;
  return false;
}

// A renderer for the window: the graphics hardware's, or, where there is
// none, SDL's software renderer drawing straight into the window. A renderer
// named in SDL_RENDER_DRIVER is taken as it is.
SDL_Renderer* MakeRenderer(SDL_Window* window) {
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (renderer != nullptr && SDL_GetHint(SDL_HINT_RENDER_DRIVER) == nullptr && RasterisesInSoftware(renderer)) {
    SDL_DestroyRenderer(renderer);
    renderer = nullptr;
  }
  if (renderer == nullptr) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  }
  return renderer;
}

// The gamepad's buttons in the pads' one layout.
constexpr std::pair<SDL_GameControllerButton, unsigned> kPadButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
    {SDL_CONTROLLER_BUTTON_A, kPadSouth},
    {SDL_CONTROLLER_BUTTON_B, kPadEast},
    {SDL_CONTROLLER_BUTTON_X, kPadWest},
    {SDL_CONTROLLER_BUTTON_Y, kPadNorth},
    {SDL_CONTROLLER_BUTTON_START, kPadStart},
    {SDL_CONTROLLER_BUTTON_BACK, kPadBack},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadLeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadRightShoulder},
};

bool IsKeyOrPad(Uint32 type) {
  return type == SDL_KEYDOWN || type == SDL_KEYUP ||
         (type >= SDL_CONTROLLERAXISMOTION && type <= SDL_CONTROLLERDEVICEREMOVED);
}

bool IsFocusOrButton(const SDL_Event& event) {
  if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) return true;
  return event.type == SDL_WINDOWEVENT &&
         (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || event.window.event == SDL_WINDOWEVENT_FOCUS_LOST);
}

// The SDL keys as the virtual key codes of the game's keys.
constexpr std::pair<SDL_Keycode, int> kKeys[] = {
    {SDLK_LEFT, VK_LEFT},
    {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},
    {SDLK_SPACE, VK_SPACE},
    {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_UP, VK_UP},
    {SDLK_BACKSPACE, VK_BACK},
    {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_HOME, VK_HOME},
    {SDLK_END, VK_END},
    {SDLK_j, VK_J},
    {SDLK_k, VK_K},
    {SDLK_l, VK_L},
    {SDLK_COMMA, VK_OEM_COMMA},
    {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_LEFTBRACKET, VK_OEM_4},
    {SDLK_RIGHTBRACKET, VK_OEM_6},
};

// The virtual key code of an SDL key; -1 for a key the program does not use.
int VirtualKey(SDL_Keycode key) {
  for (const auto& [sdl, vk] : kKeys) {
    if (sdl == key) return vk;
  }
  return -1;
}

// Runs `start` with standard error shut: the display and sound libraries SDL
// probes on the way to one that works print their own complaints there (a
// machine without a sound card gets eight lines of them), and when none works
// the one line that says so is ours.
template <class Start>
auto Quietly(Start start) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const bool quiet = saved >= 0 && null >= 0 && ::dup2(null, STDERR_FILENO) >= 0;
  struct Restore {
    bool quiet;
    int saved, null;
    ~Restore() {
      if (quiet) {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
      }
      if (null >= 0) ::close(null);
      if (saved >= 0) ::close(saved);
    }
  } restore{quiet, saved, null};
  return start();
}

std::string SdlError() {
  const char* error = SDL_GetError();
  return (error != nullptr && *error != '\0') ? error : "unknown reason";
}

}  // namespace

bool IsInvisibleVideoDriver(const char* driver, const char* requested) {
  if (driver == nullptr) return true;
  const std::string_view name(driver);
  if (name != "offscreen" && name != "dummy") return false;
  // Asked for by name (SDL_VIDEODRIVER may list several, comma separated)?
  std::string_view list = requested != nullptr ? requested : "";
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    if (item.size() == name.size() && SDL_strncasecmp(item.data(), driver, item.size()) == 0) return false;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return true;
}

SdlWindow::SdlWindow(WindowOptions options)
    : DesktopWindow(std::move(options)), origin_(Clock::now() - std::chrono::milliseconds(kClockLeadMs)) {
  Opening([this] {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_SCALING, "1");  // Windows too counts the window in points
    if (Quietly([] { return SDL_Init(SDL_INIT_VIDEO); }) != 0) throw StartupError("no display: " + SdlError());
    sdl_ = true;
    // Gamepads are optional. Their events come also without the focus; the
    // key record itself counts presses only while the window has it.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    const char* driver = SDL_GetCurrentVideoDriver();
    if (IsInvisibleVideoDriver(driver, SDL_getenv("SDL_VIDEODRIVER"))) {
      throw StartupError("no display: none could be reached (SDL fell back to its invisible \"" +
                         std::string(driver != nullptr ? driver : "?") + "\" video driver)");
    }
    // On a high-density display the window is sized in the desktop's points
    // and drawn in its pixels: the picture is then scaled by whole multiples
    // of the pixels (CurrentPlacement), and mouse positions, which come in
    // points, are mapped through the ratio of the two (ToPicture).
    window_ = SDL_CreateWindow(kCaption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kPictureWidth, kPictureHeight,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_ == nullptr) throw StartupError("cannot create the window: " + SdlError());
    windowId_ = SDL_GetWindowID(window_);
    SDL_SetWindowMinimumSize(window_, kPictureWidth, kPictureHeight);

    renderer_ = MakeRenderer(window_);
    if (renderer_ == nullptr) throw StartupError("no renderer: " + SdlError());
    SDL_RendererInfo info{};
    accelerated_ = SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_ACCELERATED) != 0;
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XBGR8888, SDL_TEXTUREACCESS_STREAMING, kPictureWidth,
                                 kPictureHeight);
    if (texture_ == nullptr) throw StartupError("no renderer: cannot make the canvas texture: " + SdlError());
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);

    if (Options().sound) audio_ = Quietly([] { return std::make_unique<SdlAudio>(); });
    MeasureRefresh();
    Compose();
  });
}

void SdlWindow::End() {
  if (audio_) {
    audio_->Close();
    audio_.reset();
  }
  for (auto& [id, pad] : pads_) SDL_GameControllerClose(pad.controller);
  pads_.clear();
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
  if (sdl_) SDL_Quit();
  sdl_ = false;
  ForgetKeys();
  menu_.Close();
}

void SdlWindow::SetIcon(const Surface& icon) {
  if (window_ == nullptr || icon.Width() <= 0 || icon.Height() <= 0) return;
  // SDL only reads the pixels while it makes the icon.
  SDL_Surface* image =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<Colour*>(icon.Pixels().data()), icon.Width(), icon.Height(), 32,
                                         icon.Width() * 4, SDL_PIXELFORMAT_XBGR8888);
  if (image == nullptr) return;
  SDL_SetWindowIcon(window_, image);
  SDL_FreeSurface(image);
}

// The clock.

std::int64_t SdlWindow::Micros() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin_).count();
}

void SdlWindow::SleepUntil(std::int64_t micros) { RestUntil(origin_ + std::chrono::microseconds(micros)); }

std::uint64_t SdlWindow::NewSeed() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Keys.

// Only keyboard and gamepad events are served here, in their order; the close,
// the menu and everything else stay queued for the event pump. Serving stops
// before the first event that changes how a key counts (the focus, or a mouse
// button that may open the menu, which takes ESCAPE), so that every key event
// still meets the state it met in the pump.
void SdlWindow::ServeKeys() {
  SDL_PumpEvents();
  std::array<SDL_Event, 64> pending;
  const int count =
      SDL_PeepEvents(pending.data(), static_cast<int>(pending.size()), SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
  for (int i = 0; i < count; ++i) {
    const SDL_Event& event = pending[static_cast<std::size_t>(i)];
    if (IsFocusOrButton(event)) return;
    if (!IsKeyOrPad(event.type)) continue;
    // The first event of its type still queued is this one.
    SDL_Event taken;
    if (SDL_PeepEvents(&taken, 1, SDL_GETEVENT, event.type, event.type) != 1) return;
    Serve(taken);
  }
}

void SdlWindow::ServeKey(const SDL_KeyboardEvent& event) {
  const bool down = event.type == SDL_KEYDOWN;
  const SDL_Keycode sym = event.keysym.sym;
  if (down && event.repeat == 0 && (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && (event.keysym.mod & KMOD_ALT)) {
    ToggleFullscreen();
    return;
  }
  if (down && sym == SDLK_ESCAPE && menu_.Escape()) return;
  KeyChanged(VirtualKey(sym), down, event.repeat != 0);
}

// Gamepads: the d-pad and the left stick are LEFT and RIGHT, every face
// button and Start are SPACE. Pads come and go while the game runs.

void SdlWindow::ServePad(const SDL_Event& event) {
  if (event.type == SDL_CONTROLLERDEVICEADDED) {
    SDL_GameController* controller = SDL_GameControllerOpen(event.cdevice.which);
    if (controller == nullptr) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    // A pad already open was only opened once more: drop that second hold.
    if (!pads_.try_emplace(id, Pad{controller}).second) SDL_GameControllerClose(controller);
    return;
  }
  const auto found = pads_.find(event.type == SDL_CONTROLLERAXISMOTION      ? event.caxis.which
                                : event.type == SDL_CONTROLLERDEVICEREMOVED ? event.cdevice.which
                                                                            : event.cbutton.which);
  if (found == pads_.end()) return;
  Pad& pad = found->second;
  if (event.type == SDL_CONTROLLERDEVICEREMOVED) {
    SDL_GameControllerClose(pad.controller);
    pads_.erase(found);
  } else if (event.type == SDL_CONTROLLERAXISMOTION) {
    if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) pad.stickX = event.caxis.value;
  } else {
    for (const auto& [button, control] : kPadButtons) {
      if (button != event.cbutton.button) continue;
      pad.controls = event.type == SDL_CONTROLLERBUTTONDOWN ? pad.controls | control : pad.controls & ~control;
    }
  }
  unsigned held = 0, controls = 0;
  for (const auto& [id, any] : pads_) {
    held |= PadHolds(any.controls, any.stickX / 32767.0);
    controls |= any.controls;
  }
  PadsHold(held, controls);
}

// Sound and the multimedia command.

void SdlWindow::sndPlaySoundA(const std::string& file, unsigned) {
  if (audio_) audio_->Play(file);
}

void SdlWindow::mciSendStringA(const std::string&) {}

void SdlWindow::Alert(const std::string& what) {
  // Plain letters: not every desktop has a font for the caption's wide ones.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "ZORVA", what.c_str(), window_);
}

bool SdlWindow::StopRequested() {
  if (window_ == nullptr) return false;
  SDL_PumpEvents();
  SDL_Event events[64];
  if (SDL_PeepEvents(events, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return true;
  const int windowEvents = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
  for (int i = 0; i < windowEvents; ++i) {
    if (events[i].window.windowID == windowId_ && events[i].window.event == SDL_WINDOWEVENT_CLOSE) return true;
  }
  const int keys = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
  for (int i = 0; i < keys; ++i) {
    if (events[i].key.keysym.sym == SDLK_ESCAPE) return true;
  }
  return false;
}

// The window.

void SdlWindow::ShowMain() {
  if (window_ == nullptr) return;
  const Uint32 flags = SDL_GetWindowFlags(window_);
  const int display = std::max(0, SDL_GetWindowDisplayIndex(window_));
  // The starting multiple, as far as the screen has room for it.
  int scale = Options().scale;
  SDL_Rect room{};
  if (SDL_GetDisplayUsableBounds(display, &room) == 0) {
    while (scale > 1 && (kPictureWidth * scale > room.w || kPictureHeight * scale > room.h)) --scale;
  }
  SDL_SetWindowSize(window_, kPictureWidth * scale, kPictureHeight * scale);
  if ((flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN)) == 0) {
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display), SDL_WINDOWPOS_CENTERED_DISPLAY(display));
  }
  SDL_SetWindowTitle(window_, kCaption);
  if (Options().fullscreen) SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(window_);
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) FocusChanged(true);
  MeasureRefresh();
}

bool SdlWindow::IsFullscreen() const {
  return window_ != nullptr && (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) != 0;
}

void SdlWindow::ToggleFullscreen() {
  SDL_SetWindowFullscreen(window_, IsFullscreen() ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

Placement SdlWindow::CurrentPlacement() const {
  int w = kPictureWidth, h = kPictureHeight;
  if (renderer_ != nullptr) SDL_GetRendererOutputSize(renderer_, &w, &h);
  return FitPicture(w, h);
}

Point SdlWindow::ToPicture(int x, int y) const {
  int winW = 0, winH = 0, outW = 0, outH = 0;
  SDL_GetWindowSize(window_, &winW, &winH);
  SDL_GetRendererOutputSize(renderer_, &outW, &outH);
  return WindowToPicture({x, y}, winW, winH, outW, outH, FitPicture(outW, outH));
}

void SdlWindow::MeasureRefresh() {
  int rate = 60;
  SDL_DisplayMode mode{};
  const int display = window_ != nullptr ? SDL_GetWindowDisplayIndex(window_) : 0;
  if (SDL_GetCurrentDisplayMode(std::max(0, display), &mode) == 0 && mode.refresh_rate > 0) rate = mode.refresh_rate;
  SetRefreshMicros(1000000 / std::clamp(rate, 24, 500));
}

void SdlWindow::ServeWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE: Form_Unload();
    case SDL_WINDOWEVENT_FOCUS_GAINED: FocusChanged(true); break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      FocusChanged(false);
      menu_.Close();
      break;
    case SDL_WINDOWEVENT_LEAVE: menu_.MouseLeft(); break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_DISPLAY_CHANGED: MeasureRefresh(); break;
    default: break;
  }
}

void SdlWindow::Serve(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: Form_Unload();
    case SDL_WINDOWEVENT:
      if (event.window.windowID == windowId_) ServeWindowEvent(event.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (event.key.windowID == windowId_) ServeKey(event.key);
      break;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION: ServePad(event); break;
    case SDL_MOUSEMOTION:
      if (event.motion.windowID != windowId_) break;
      if ((event.motion.state & SDL_BUTTON_LMASK) == 0 || !Seeks(ToPicture(event.motion.x, event.motion.y))) {
        menu_.MouseMove(ToPicture(event.motion.x, event.motion.y));
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID == windowId_ && event.button.button == SDL_BUTTON_LEFT &&
          !Seeks(ToPicture(event.button.x, event.button.y))) {
        menu_.MouseDown(ToPicture(event.button.x, event.button.y));
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.windowID == windowId_ && event.button.button == SDL_BUTTON_LEFT &&
          menu_.MouseUp(ToPicture(event.button.x, event.button.y)) == MenuBar::Command::ClickWait) {
        MENU002_Click();
      }
      break;
    default: break;
  }
}

void SdlWindow::Present(bool synced) {
  synced = synced && accelerated_;  // a software renderer could only pretend
  if (synced != synced_) {
    SDL_RenderSetVSync(renderer_, synced ? 1 : 0);
    synced_ = synced;
  }
  SDL_UpdateTexture(texture_, nullptr, Picture().Pixels().data(), kPictureWidth * static_cast<int>(sizeof(Colour)));
  const Rect target = CurrentPlacement().Target();
  const SDL_Rect dst{target.x, target.y, target.w, target.h};
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
  SDL_RenderPresent(renderer_);
}

void SdlWindow::ServeEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) Serve(event);
}

}  // namespace zorva
