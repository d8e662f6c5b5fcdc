#include "web/web_window.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "flow/form.h"
#include "web/page_demos.h"
#include "web/web_sound.h"

namespace zorva {

namespace {

constexpr const char* kCanvas = "#screen";

// The pacing wait sleeps while more than this many ms remain, for all but
// the last two of them, and only yields to the browser for the rest: a timer
// may be held back to 4 ms, and may come late.
constexpr std::int64_t kSleepAboveMs = 4;

// The page's key codes as the virtual key codes of the game's keys and of
// the viewer's.
constexpr std::pair<std::string_view, int> kKeys[] = {
    {"ArrowLeft", VK_LEFT},
    {"ArrowRight", VK_RIGHT},
    {"ArrowDown", VK_DOWN},
    {"ArrowUp", VK_UP},
    {"Space", VK_SPACE},
    {"Escape", VK_ESCAPE},
    {"KeyK", VK_K},
    {"KeyJ", VK_J},
    {"KeyL", VK_L},
    {"Comma", VK_OEM_COMMA},
    {"Period", VK_OEM_PERIOD},
    {"BracketLeft", VK_OEM_4},
    {"BracketRight", VK_OEM_6},
    {"Backspace", VK_BACK},
    {"PageUp", VK_PRIOR},
    {"PageDown", VK_NEXT},
    {"Home", VK_HOME},
    {"End", VK_END},
};

// The most gamepads the page reads.
constexpr int kMostPads = 4;

// The least scale of the picture on the page (see Layout).
constexpr double kLeastScale = 1.0 / 1024;

// The page's part under a point (CSS pixels): a touch control's virtual key,
// kOnPicture for the canvas, kOnDemoBar for the page's demo buttons, 0 for
// anything else.
constexpr int kOnPicture = -1;
constexpr int kOnDemoBar = -2;
// The JavaScript pieces stay as written: the formatter reads them as C++.
// clang-format off
EM_JS(int, js_part_at, (int x, int y), {
  const at = document.elementFromPoint(x, y);
  const control = at && at.closest('[data-vk]');
  if (control) return Number(control.dataset.vk);
  return at && at.id === 'screen' ? -1 : at && at.closest('#demos, #viewer') ? -2 : 0;
});

EM_JS(bool, js_touch_screen, (), { return navigator.maxTouchPoints > 0; });

EM_JS(void, js_show_controls, (bool shown), { document.documentElement.classList.toggle('touch', shown); });

EM_JS(void, js_control_held, (int vk, bool held), {
  const control = document.querySelector('[data-vk="' + vk + '"]');
  if (control) control.classList.toggle('held', held);
});

// The gamepads through the Gamepad API in its standard layout: for each pad
// (at most `most`), its controls as PadControl bits and its left stick's x,
// into `pads`; how many, or -1 while the page is hidden or without the focus.
EM_JS(int, js_pads, (double* pads, int most), {
  if (document.hidden || !document.hasFocus() || !navigator.getGamepads) return -1;
  // d-pad left, right, up, down, the four face buttons, Start, Back and the shoulders, in PadControl's order.
  const buttons = [14, 15, 12, 13, 0, 1, 2, 3, 9, 8, 4, 5];
  let n = 0;
  for (const pad of navigator.getGamepads()) {
    if (!pad || n === most) continue;
    const controls = buttons.reduce((bits, b, i) => bits | (pad.buttons[b] && pad.buttons[b].pressed ? 1 << i : 0), 0);
    HEAPF64.set([controls, pad.axes[0] || 0], (pads >> 3) + 2 * n++);
  }
  return n;
});

// The box the picture goes into (CSS pixels): the page less the touch
// controls and the screen's unsafe edges.
EM_JS(void, js_stage, (double* box), {
  const r = document.getElementById('stage').getBoundingClientRect();
  HEAPF64.set([r.left, r.top, r.width, r.height], box >> 3);
});

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

// What the page's controls beside a playback asked since the last pump: the
// virtual key whose command a button asks (0: nothing more), and where the
// slider was last put (a fraction of the demo, or -1).
EM_JS(int, js_view_asked, (), { return Module.demos.asked.shift() || 0; });
EM_JS(double, js_view_seek, (), {
  const at = Module.demos.seekTo;
  Module.demos.seekTo = -1;
  return at;
});

// Where the playback stands, for the page's controls; `shown` false when no
// demo plays back.
EM_JS(void, js_view, (bool shown, const char* line, const char* speed, double fraction, double frame, bool paused), {
  Module.demos.view(shown && { line: UTF8ToString(line), speed: UTF8ToString(speed), fraction, frame, paused });
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
// clang-format on

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
    Of(w).Mouse(type, static_cast<int>(e->clientX), static_cast<int>(e->clientY), (e->buttons & 1) != 0);
  }
  return false;
}

EM_BOOL OnTouch(int type, const EmscriptenTouchEvent* e, void* w) { return Of(w).Touch(type, *e); }

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
  InstallWaveReader();
  controls_ = js_touch_screen();
  js_show_controls(controls_);
  emscripten_set_canvas_element_size(kCanvas, kPictureWidth, kPictureHeight);
  const char* page = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(page, this, true, OnKey);
  emscripten_set_keyup_callback(page, this, true, OnKey);
  emscripten_set_mousedown_callback(page, this, true, OnMouse);
  emscripten_set_mouseup_callback(page, this, true, OnMouse);
  emscripten_set_mousemove_callback(page, this, true, OnMouse);
  emscripten_set_blur_callback(page, this, true, OnBlur);
  // On the game's own element, so that the browser lets it keep touches from
  // scrolling, zooming and making mouse clicks.
  const char* game = "#game";
  emscripten_set_touchstart_callback(game, this, true, OnTouch);
  emscripten_set_touchmove_callback(game, this, true, OnTouch);
  emscripten_set_touchend_callback(game, this, true, OnTouch);
  emscripten_set_touchcancel_callback(game, this, true, OnTouch);
  emscripten_set_resize_callback(page, this, true, OnResize);
}

void WebWindow::SetIcon(const Surface& icon) {
  std::vector<std::uint32_t> rgba;
  js_icon(Opaque(icon, rgba).data(), icon.Width(), icon.Height());
}

// The clock.

std::int64_t WebWindow::ReadClock() { return static_cast<std::int64_t>(std::floor(emscripten_get_now() - origin_)); }

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

// The keyboard and the touch controls write into the key record from their
// handlers, which run while the game waits; the gamepads have no events and
// are read here too (at most once a millisecond), so that a button pressed
// during the wait is seen by the next poll, as a key is.
std::int16_t WebWindow::PollKey(int vk) {
  ReadPads();
  return keys_.Poll(vk);
}

bool WebWindow::Key(const char* code, bool down, bool repeat) {
  const std::string_view name(code);
  if (down) ShowControls(false);  // the keyboard is in use
  if (down && name == "Escape" && menu_.Escape()) return true;
  const auto known =
      std::find_if(std::begin(kKeys), std::end(kKeys), [name](const auto& k) { return k.first == name; });
  const int vk = known == std::end(kKeys) ? 0 : known->second;
  // Playing back, the viewer's keys ask the playback (the steps and seeks
  // again while held); keys never reach the game then.
  if (const ViewCommand command = ViewCommandOfKey(vk); command != ViewCommand::None && PlaysBack()) {
    if (down && (!repeat || RepeatsWhileHeld(command))) Ask(command);
    return true;
  }
  KeyRecord* key = keys_.Find(vk);
  // Arrows would scroll the page.
  if (key == nullptr) return name.starts_with("Arrow");
  // A held key's repeats add nothing.
  if (!down) {
    key->Release();
  } else if (!repeat) {
    key->Hold();
  }
  return true;
}

void WebWindow::Blur() {
  // Keys held while the page loses the keyboard read as up.
  HoldKeys(KeyRecord::kTouch, touchHeld_, 0);
  keys_.Clear();
  menuTouch_ = -1;
  seekHeld_ = false;
  menu_.Close();
}

void WebWindow::HoldKeys(unsigned source, unsigned& held, unsigned now) {
  for (std::size_t k = 0; k < kHeldKeys.size() && source == KeyRecord::kTouch; ++k) {
    const unsigned bit = 1u << k;
    if (((held ^ now) & bit) != 0) js_control_held(kHeldKeys[k], (now & bit) != 0);
  }
  keys_.HoldFrom(source, kHeldKeys, held, now);
}

// Touches: each finger holds the control under it, so that one sliding from
// RIGHT to LEFT turns the ship without lifting, and several hold several keys.
// A finger put down on the picture works the menu bar as the mouse does. The
// controls come back with any touch.
bool WebWindow::Touch(int type, const EmscriptenTouchEvent& e) {
  const bool lifting = type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL;
  if (!lifting) ShowControls(true);
  unsigned held = 0;
  bool onDemoBar = true;  // every touch that changed: the browser turns it into a click
  for (int i = 0; i < e.numTouches; ++i) {
    const EmscriptenTouchPoint& t = e.touches[i];
    const int x = static_cast<int>(t.clientX), y = static_cast<int>(t.clientY);
    const int part = js_part_at(x, y);
    if (!(lifting && t.isChanged)) {
      for (std::size_t k = 0; k < std::size(kHeldKeys); ++k) held |= part == kHeldKeys[k] ? 1u << k : 0u;
    }
    if (!t.isChanged) continue;
    onDemoBar = onDemoBar && part == kOnDemoBar;
    const Point p = ToPicture(x, y);
    if (type == EMSCRIPTEN_EVENT_TOUCHSTART && menuTouch_ < 0 && part == kOnPicture) {
      menuTouch_ = t.identifier;
      seekHeld_ = Seeks(p);
      if (!seekHeld_) menu_.MouseDown(p);
    } else if (t.identifier == menuTouch_ && !lifting) {
      if (!(seekHeld_ && Seeks(p))) menu_.MouseMove(p);
    } else if (t.identifier == menuTouch_) {
      if (type == EMSCRIPTEN_EVENT_TOUCHEND && menu_.MouseUp(p) == MenuBar::Command::ClickWait) ++waitClicks_;
      menuTouch_ = -1;
      seekHeld_ = false;
    }
  }
  HoldKeys(KeyRecord::kTouch, touchHeld_, controls_ ? held : 0);
  return !onDemoBar;
}

// Like a key, a pad held through a loss of the focus (which lets go of every
// key) must be pressed again.
void WebWindow::ReadPads() {
  const std::int64_t now = ReadClock();
  if (now == padsRead_) return;
  padsRead_ = now;
  double pads[2 * kMostPads];
  const int n = js_pads(pads, kMostPads);
  if (n < 0) return;
  unsigned held = 0, controls = 0;
  for (int i = 0; i < n; ++i) {
    controls |= static_cast<unsigned>(pads[2 * i]);
    held |= PadHolds(static_cast<unsigned>(pads[2 * i]), pads[2 * i + 1]);
  }
  if ((held & ~padHeld_) != 0) ShowControls(false);  // the pad is in use
  // Playing back, each button pressed asks the viewer, and none reaches the game.
  const unsigned pressed = controls & ~padControls_;
  padControls_ = controls;
  if (PlaysBack()) {
    for (unsigned bit = 1; bit != 0 && bit <= pressed; bit <<= 1) {
      if ((pressed & bit) != 0) Ask(ViewCommandOfPad(bit));
    }
    return;
  }
  HoldKeys(KeyRecord::kPad, padHeld_, held);
}

void WebWindow::ShowControls(bool shown) {
  if (shown == controls_) return;
  controls_ = shown;
  if (!shown) HoldKeys(KeyRecord::kTouch, touchHeld_, 0);
  js_show_controls(shown);
  Layout();
}

// A point far off a tiny picture stays a point off it, within an int.
Point WebWindow::ToPicture(int x, int y) const {
  const auto picture = [this](double at) {
    return static_cast<int>(std::clamp(std::floor(at / placeScale_), -1e6, 1e6));
  };
  return {picture(x - placeX_), picture(y - placeY_)};
}

bool WebWindow::Seeks(Point p) {
  const std::optional<double> at = PlaysBack() ? ProgressAt(p) : std::nullopt;
  if (at) AskSeek(*at);
  return at.has_value();
}

// The mouse on the menu bar, or on a playback's bar, which seeks where it is
// pressed and dragged; a click on WAIT waits for the event pump.
void WebWindow::Mouse(int type, int x, int y, bool held) {
  const Point p = ToPicture(x, y);
  if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) {
    seekHeld_ = Seeks(p);
    if (!seekHeld_) menu_.MouseDown(p);
  } else if (type == EMSCRIPTEN_EVENT_MOUSEUP) {
    seekHeld_ = false;
    if (menu_.MouseUp(p) == MenuBar::Command::ClickWait) ++waitClicks_;
  } else if (!(held && seekHeld_ && Seeks(p))) {
    menu_.MouseMove(p);
  }
}

// Sound.

void WebWindow::sndPlaySoundA(const std::string& file, unsigned) { js_play(file.c_str()); }

// The page.

// The picture goes into the stage by whole multiples of the device's pixels.
// A stage smaller than the picture at 1x (a phone held sideways with its
// keyboard open, a narrow strip) gets it shrunk to fit, so that the menu bar
// stays on the page.
void WebWindow::Layout() {
  const double ratio = emscripten_get_device_pixel_ratio();
  double box[4];
  js_stage(box);
  const int outW = static_cast<int>(std::floor(box[2] * ratio)), outH = static_cast<int>(std::floor(box[3] * ratio));
  if (outW >= kPictureWidth && outH >= kPictureHeight) {
    const Placement placed = FitPicture(outW, outH);
    placeX_ = box[0] + placed.x / ratio;
    placeY_ = box[1] + placed.y / ratio;
    placeScale_ = placed.scale / ratio;
  } else {
    // However small, the picture stays inside the stage; the least scale only
    // keeps the mouse's arithmetic finite when the stage has no room at all.
    placeScale_ = std::max(std::min(box[2] / kPictureWidth, box[3] / kPictureHeight), kLeastScale);
    placeX_ = box[0] + (box[2] - kPictureWidth * placeScale_) / 2;
    placeY_ = box[1] + (box[3] - kPictureHeight * placeScale_) / 2;
  }
  js_place(placeX_, placeY_, kPictureWidth * placeScale_, kPictureHeight * placeScale_);
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
  // A demo handed over by the page ends the run, or the playback, at once.
  if (DemoWaiting()) throw ProgramEnded{0};
  ReadPads();
  for (; waitClicks_ > 0; --waitClicks_) MENU002_Click();
  // The page's controls beside a playback ask the viewer as its keys do.
  for (int vk; (vk = js_view_asked()) != 0;) Ask(ViewCommandOfKey(vk));
  if (const double at = js_view_seek(); at >= 0) AskSeek(at);
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
  ViewStatus status;
  const bool viewing = Viewing(status);
  ComposePicture(Crt, menu_, WaitChecked(), picture_, viewing ? &status : nullptr);
  // The page's controls show where a playback stands, and take their room
  // beside the picture while it lasts.
  if (viewing || viewing_) {
    js_view(viewing, ViewLine(status).c_str(), SpeedName(status.speed), status.fraction,
            static_cast<double>(status.frame), status.paused);
  }
  if (viewing != viewing_) {
    viewing_ = viewing;
    Layout();
  }
  js_present(Opaque(picture_, rgba_).data(), kPictureWidth, kPictureHeight);
  showDue_ = waiting_ = false;
  emscripten_request_animation_frame(OnDisplayFrame, this);
}

}  // namespace zorva
