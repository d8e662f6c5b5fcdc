#include "sdl/sdl_window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "flow/form.h"

namespace zorva {

namespace {

using namespace std::chrono_literals;

constexpr const char* kCaption = "ＺＯＲＶＡ";

// The clock starts this long before the window is made, so that its first
// reading is already well above 0 (a fresh gate acts on its second poll only
// when its first reading was positive).
constexpr auto kClockLead = 1s;

// The busy wait rests the processor while more than this many ms remain and
// reads the clock without pause for the rest.
constexpr std::int64_t kSpinMs = 2;

// With a renderer that really waits for the display, the next present is
// handed over this much before the refresh it waits for, so that it does not
// miss it.
constexpr auto kVsyncLead = 3ms;

// Virtual key codes of the SDL keys the game polls; -1 for any other key.
int VirtualKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_ESCAPE: return VK_ESCAPE;
    default: return -1;
  }
}

// Starts SDL's video with standard error shut: the display libraries it
// probes on the way to one that works print their own complaints there, and
// when none works the one line that says so is ours.
int InitVideoQuietly() {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const bool quiet = saved >= 0 && null >= 0 && ::dup2(null, STDERR_FILENO) >= 0;
  const int result = SDL_Init(SDL_INIT_VIDEO);
  if (quiet) {
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
  }
  if (null >= 0) ::close(null);
  if (saved >= 0) ::close(saved);
  return result;
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

SdlWindow::SdlWindow() : origin_(Clock::now() - kClockLead) {
  try {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    if (InitVideoQuietly() != 0) throw StartupError("no display: " + SdlError());
    sdl_ = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (IsInvisibleVideoDriver(driver, SDL_getenv("SDL_VIDEODRIVER"))) {
      throw StartupError("no display: none could be reached (SDL fell back to its invisible \"" +
                         std::string(driver != nullptr ? driver : "?") + "\" video driver)");
    }
    window_ = SDL_CreateWindow(kCaption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kPictureWidth,
                               kPictureHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window_ == nullptr) throw StartupError("cannot create the window: " + SdlError());
    windowId_ = SDL_GetWindowID(window_);
    SDL_SetWindowMinimumSize(window_, kPictureWidth, kPictureHeight);

    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (renderer_ == nullptr) throw StartupError("no renderer: " + SdlError());
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XBGR8888, SDL_TEXTUREACCESS_STREAMING, kPictureWidth,
                                 kPictureHeight);
    if (texture_ == nullptr) throw StartupError("no renderer: cannot make the canvas texture: " + SdlError());
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);

    audio_ = std::make_unique<SdlAudio>();
    MeasureRefresh();
    ComposePicture(Crt, menu_, waitChecked_, picture_);
  } catch (...) {
    End();
    throw;
  }
}

SdlWindow::~SdlWindow() { End(); }

void SdlWindow::End() {
  if (audio_) {
    audio_->Close();
    audio_.reset();
  }
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
  if (sdl_) SDL_Quit();
  sdl_ = false;
  focus_ = false;
  ReleaseAllKeys();
  menu_.Close();
}

void SdlWindow::SetIcon(const Surface& icon) {
  if (window_ == nullptr || icon.Width() <= 0 || icon.Height() <= 0) return;
  // SDL only reads the pixels while it makes the icon.
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<Colour*>(icon.Pixels().data()), icon.Width(),
                                                          icon.Height(), 32, icon.Width() * 4,
                                                          SDL_PIXELFORMAT_XBGR8888);
  if (image == nullptr) return;
  SDL_SetWindowIcon(window_, image);
  SDL_FreeSurface(image);
}

// The clock.

std::int64_t SdlWindow::ReadClock() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - origin_).count();
}

std::int64_t SdlWindow::ReadClockWaiting(std::int64_t remaining) {
  // The deadline is at least `remaining` ms away: sleeping all but the last
  // two leaves a whole millisecond for the sleep to come back late.
  if (remaining > kSpinMs) std::this_thread::sleep_for(std::chrono::milliseconds(remaining - kSpinMs));
  return ReadClock();
}

std::uint64_t SdlWindow::NewSeed() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string SdlWindow::ExeFolder() {
  std::string folder;
  if (char* base = SDL_GetBasePath(); base != nullptr) {
    folder = base;
    SDL_free(base);
  }
  if (folder.empty()) {
    std::error_code error;
    folder = std::filesystem::current_path(error).string();
    if (error || folder.empty()) folder = ".";
  }
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

// Keys.

std::int16_t SdlWindow::PollKey(int vk) {
  if (vk < 0 || vk >= static_cast<int>(keys_.size())) return 0;
  Key& key = keys_[static_cast<std::size_t>(vk)];
  const unsigned result = (key.down ? 0x8000u : 0u) | (key.pressed ? 1u : 0u);
  key.pressed = false;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(result));
}

void SdlWindow::ReleaseAllKeys() { keys_.fill(Key{}); }

void SdlWindow::ServeKey(const SDL_KeyboardEvent& event) {
  const bool down = event.type == SDL_KEYDOWN;
  const SDL_Keycode sym = event.keysym.sym;
  if (down && event.repeat == 0 && (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && (event.keysym.mod & KMOD_ALT)) {
    ToggleFullscreen();
    return;
  }
  if (down && sym == SDLK_ESCAPE && menu_.Escape()) return;

  const int vk = VirtualKey(sym);
  if (vk < 0) return;
  Key& key = keys_[static_cast<std::size_t>(vk)];
  if (!down) {
    key.down = false;
    return;
  }
  // Only presses made while the window has the keyboard count; a held key's
  // repeats add nothing.
  if (!focus_ || event.repeat != 0) return;
  if (!key.down) key.pressed = true;
  key.down = true;
}

// Sound and the multimedia command.

void SdlWindow::sndPlaySoundA(const std::string& file, unsigned) {
  if (audio_) audio_->Play(file);
}

void SdlWindow::mciSendStringA(const std::string&) {}

// The window.

void SdlWindow::ShowMain() {
  if (window_ == nullptr) return;
  const Uint32 flags = SDL_GetWindowFlags(window_);
  SDL_SetWindowSize(window_, kPictureWidth, kPictureHeight);
  if ((flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED | SDL_WINDOW_FULLSCREEN)) == 0) {
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window_));
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display), SDL_WINDOWPOS_CENTERED_DISPLAY(display));
  }
  SDL_SetWindowTitle(window_, kCaption);
  SDL_ShowWindow(window_);
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) focus_ = true;
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
  rate = std::clamp(rate, 24, 500);
  refresh_ = std::chrono::microseconds(1000000 / rate);
}

void SdlWindow::ServeWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Form_Unload();
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      focus_ = true;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // Keys held while another window takes the keyboard read as up.
      focus_ = false;
      ReleaseAllKeys();
      menu_.Close();
      break;
    case SDL_WINDOWEVENT_LEAVE:
      menu_.MouseLeft();
      break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
      MeasureRefresh();
      break;
    default:
      break;
  }
}

void SdlWindow::Serve(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      Form_Unload();
    case SDL_WINDOWEVENT:
      if (event.window.windowID == windowId_) ServeWindowEvent(event.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (event.key.windowID == windowId_) ServeKey(event.key);
      break;
    case SDL_MOUSEMOTION:
      if (event.motion.windowID == windowId_) menu_.MouseMove(ToPicture(event.motion.x, event.motion.y));
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID == windowId_ && event.button.button == SDL_BUTTON_LEFT) {
        menu_.MouseDown(ToPicture(event.button.x, event.button.y));
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.windowID == windowId_ && event.button.button == SDL_BUTTON_LEFT &&
          menu_.MouseUp(ToPicture(event.button.x, event.button.y)) == MenuBar::Command::ClickWait) {
        MENU002_Click();
      }
      break;
    default:
      break;
  }
}

void SdlWindow::Present() {
  ComposePicture(Crt, menu_, waitChecked_, picture_);
  SDL_UpdateTexture(texture_, nullptr, picture_.Pixels().data(), kPictureWidth * static_cast<int>(sizeof(Colour)));
  const Placement placement = CurrentPlacement();
  const Rect target = placement.Target();
  const SDL_Rect dst{target.x, target.y, target.w, target.h};
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &dst);

  // No present comes sooner than one refresh after the one before; a renderer
  // that waits for the display itself gets this one a little before its
  // refresh. Either way the loop rests instead of spinning, and never for
  // longer than a refresh.
  const auto lead = std::min<Clock::duration>(kVsyncLead, refresh_ / 4);
  const auto due = std::max(lastPresentStart_ + refresh_, lastPresentEnd_ + refresh_ - lead);
  if (Clock::now() < due) std::this_thread::sleep_until(due);
  lastPresentStart_ = Clock::now();
  SDL_RenderPresent(renderer_);
  lastPresentEnd_ = Clock::now();
}

void SdlWindow::PumpEvents() {
  if (window_ == nullptr) return;
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) Serve(event);
  Present();
}

}  // namespace zorva
