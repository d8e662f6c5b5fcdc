#include "web/web_window.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "flow/form.h"

namespace zorva {

namespace {

constexpr const char* kCanvas = "#screen";

// The pacing wait sleeps while more than this many ms remain, for all but
// the last two of them, and only yields to the browser for the rest: a timer
// may be held back to 4 ms, and may come late.
constexpr std::int64_t kSleepAboveMs = 4;

// The keys the game polls, by the page's key codes.
constexpr std::pair<std::string_view, int> kKeys[] = {
    {"ArrowLeft", VK_LEFT}, {"ArrowRight", VK_RIGHT}, {"ArrowDown", VK_DOWN},
    {"Space", VK_SPACE},    {"Escape", VK_ESCAPE},
};

// The picture, RGBA, onto the page's canvas.
EM_JS(void, js_present, (const void* rgba, int w, int h), {
  const context = document.getElementById('screen').getContext('2d');
  context.putImageData(new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, w * h * 4), w, h), 0, 0);
});

// Places the canvas on the page, in CSS pixels, and shows it.
EM_JS(void, js_place, (double x, double y, double w, double h), {
  const style = document.getElementById('screen').style;
  style.left = x + 'px';
  style.top = y + 'px';
  style.width = w + 'px';
  style.height = h + 'px';
  style.visibility = 'visible';
});

EM_JS(void, js_icon, (const void* rgba, int w, int h), {
  const canvas = document.createElement('canvas');
  canvas.width = w;
  canvas.height = h;
  canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(HEAPU8.slice(rgba, rgba + w * h * 4)), w, h), 0, 0);
  const link = document.createElement('link');
  link.rel = 'icon';
  link.href = canvas.toDataURL();
  document.head.appendChild(link);
});

// The page's wave player (index.html): fetched once, decoded, a new sound
// replaces the one playing; silent until a key press lets the page play.
EM_JS(void, js_play, (const char* file), {
  if (Module.playSound) Module.playSound(UTF8ToString(file));
});

// The page's turns: one message channel to ourselves, so that a turn comes
// back as soon as the browser has served what was waiting, without the least
// delay of a timer. The event pump counts its turns in Module.passes (one a
// pass of the loops), for anyone measuring how fast the game runs.
EM_JS(void, js_turns, (), {
  const channel = new MessageChannel();
  let wake = null;
  channel.port1.onmessage = () => wake();
  Module.turn = () => new Promise((woken) => { wake = woken; channel.port2.postMessage(0); });
  Module.passes = 0;
});

// Lets the browser serve its events and comes back at once.
EM_ASYNC_JS(void, js_yield, (), { await Module.turn(); });

// The event pump's turn: as js_yield, but while the page is hidden (another
// tab, a minimised window) it comes back only once the page is shown again.
EM_ASYNC_JS(void, js_pump_turn, (), {
  ++Module.passes;
  if (document.hidden) {
    await new Promise((wake) => {
      const shown = () => {
        if (document.hidden) return;
        document.removeEventListener('visibilitychange', shown);
        wake();
      };
      document.addEventListener('visibilitychange', shown);
    });
  }
  await Module.turn();
});

std::vector<std::uint32_t>& Opaque(const Surface& s, std::vector<std::uint32_t>& rgba) {
  rgba.resize(s.Pixels().size());
  std::transform(s.Pixels().begin(), s.Pixels().end(), rgba.begin(), [](Colour c) { return c | 0xFF000000u; });
  return rgba;
}

WebWindow& Of(void* window) { return *static_cast<WebWindow*>(window); }

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void* w) {
  return Of(w).Key(e->code, type == EMSCRIPTEN_EVENT_KEYDOWN, e->repeat);
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* e, void* w) {
  if (type == EMSCRIPTEN_EVENT_MOUSEMOVE || e->button == 0) {
    Of(w).Mouse(type, static_cast<int>(e->clientX), static_cast<int>(e->clientY));
  }
  return false;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void* w) {
  Of(w).Blur();
  return false;
}

EM_BOOL OnResize(int, const EmscriptenUiEvent*, void* w) {
  Of(w).Layout();
  return false;
}

EM_BOOL OnDisplayFrame(double, void* w) {
  Of(w).DisplayFrame();
  return false;
}

}  // namespace

WebWindow::WebWindow() : origin_(emscripten_get_now() - static_cast<double>(kClockLeadMs)) {
  js_turns();
  emscripten_set_canvas_element_size(kCanvas, kPictureWidth, kPictureHeight);
  const char* page = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(page, this, true, OnKey);
  emscripten_set_keyup_callback(page, this, true, OnKey);
  emscripten_set_mousedown_callback(page, this, true, OnMouse);
  emscripten_set_mouseup_callback(page, this, true, OnMouse);
  emscripten_set_mousemove_callback(page, this, true, OnMouse);
  emscripten_set_blur_callback(page, this, true, OnBlur);
  emscripten_set_resize_callback(page, this, true, OnResize);
}

void WebWindow::SetIcon(const Surface& icon) {
  std::vector<std::uint32_t> rgba;
  js_icon(Opaque(icon, rgba).data(), icon.Width(), icon.Height());
}

// The clock.

std::int64_t WebWindow::ReadClock() {
  return static_cast<std::int64_t>(std::floor(emscripten_get_now() - origin_));
}

std::int64_t WebWindow::ReadClockWaiting(std::int64_t remaining) {
  if (remaining > kSleepAboveMs) {
    emscripten_sleep(static_cast<unsigned>(remaining - 2));
  } else {
    js_yield();
  }
  return ReadClock();
}

std::uint64_t WebWindow::NewSeed() { return static_cast<std::uint64_t>(emscripten_date_now()); }

// Keys.

std::int16_t WebWindow::PollKey(int vk) { return keys_.Poll(vk); }

bool WebWindow::Key(const char* code, bool down, bool repeat) {
  const std::string_view name(code);
  if (down && name == "Escape" && menu_.Escape()) return true;
  for (const auto& [keyName, vk] : kKeys) {
    if (keyName != name) continue;
    KeyRecord& key = *keys_.Find(vk);
    // A held key's repeats add nothing.
    if (!down) {
      key.Release();
    } else if (!repeat) {
      key.Hold();
    }
    return true;
  }
  // Arrows would scroll the page.
  return name.starts_with("Arrow");
}

void WebWindow::Blur() {
  // Keys held while the page loses the keyboard read as up.
  keys_.Clear();
  menu_.Close();
}

// The mouse on the menu bar; a click on WAIT waits for the event pump.
void WebWindow::Mouse(int type, int x, int y) {
  const Point p = WindowToPicture({x, y}, winW_, winH_, outW_, outH_, FitPicture(outW_, outH_));
  if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) {
    menu_.MouseDown(p);
  } else if (type == EMSCRIPTEN_EVENT_MOUSEUP) {
    if (menu_.MouseUp(p) == MenuBar::Command::ClickWait) ++waitClicks_;
  } else {
    menu_.MouseMove(p);
  }
}

// Sound.

void WebWindow::sndPlaySoundA(const std::string& file, unsigned) { js_play(file.c_str()); }

// The page.

void WebWindow::Layout() {
  const double ratio = emscripten_get_device_pixel_ratio();
  winW_ = EM_ASM_INT({ return innerWidth; });
  winH_ = EM_ASM_INT({ return innerHeight; });
  outW_ = static_cast<int>(std::lround(winW_ * ratio));
  outH_ = static_cast<int>(std::lround(winH_ * ratio));
  const Rect r = FitPicture(outW_, outH_).Target();
  js_place(r.x / ratio, r.y / ratio, r.w / ratio, r.h / ratio);
}

void WebWindow::ShowMain() {
  emscripten_set_window_title(kCaption);
  Layout();
}

// The pump never waits for the display. The canvas goes on the page at most
// once per display frame, always as a pass left it: by the first pump after a
// display frame, or at the display frame itself while a pass waits in the
// pump; the other passes only serve the events. Nothing is shown before the
// first pass: the paint at load would be covered by it at once.
void WebWindow::PumpEvents() {
  for (; waitClicks_ > 0; --waitClicks_) MENU002_Click();
  waiting_ = passBegun_;
  if (waiting_ && showDue_) Show();
  js_pump_turn();
  waiting_ = false;
}

void WebWindow::DisplayFrame() {
  showDue_ = true;
  if (waiting_) Show();  // a paced frame in its wait is shown by its next pump
}

void WebWindow::Show() {
  ComposePicture(Crt, menu_, WaitChecked(), picture_);
  js_present(Opaque(picture_, rgba_).data(), kPictureWidth, kPictureHeight);
  showDue_ = waiting_ = false;
  emscripten_request_animation_frame(OnDisplayFrame, this);
}

}  // namespace zorva
