// The keys as the game polls them (GetAsyncKeyState), kept by every window:
// each key is held or not, and remembers whether it was pressed since the
// previous poll of it. A key may be held by more than one source at once (the
// keyboard, a gamepad, the page's touch controls): it is down while any of them
// holds it, and a press counts only when it was up.
#pragma once

#include <array>
#include <cstdint>

namespace zorva {

class KeyRecord {
 public:
  static constexpr unsigned kKeyboard = 1, kPad = 2, kTouch = 4;

  void Hold(unsigned source = kKeyboard) {
    if (held_ == 0) pressed_ = true;
    held_ |= source;
  }
  void Release(unsigned source = kKeyboard) { held_ &= ~source; }
  // A press and its release, both between two polls.
  void Tap() {
    pressed_ = true;
    held_ = 0;
  }
  bool Down() const { return held_ != 0; }
  // 0x8000 while down, | 1 when pressed since the previous poll; the poll
  // clears that record.
  std::int16_t Poll() {
    const unsigned result = (held_ != 0 ? 0x8000u : 0u) | (pressed_ ? 1u : 0u);
    pressed_ = false;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(result));
  }

 private:
  unsigned held_ = 0;
  bool pressed_ = false;
};

// The records of the virtual key codes 0..255. Any other code is no key: it
// reads as up and cannot be pressed.
class KeyRecords {
 public:
  KeyRecord* Find(int vk) {
    return vk < 0 || vk >= static_cast<int>(keys_.size()) ? nullptr : &keys_[static_cast<std::size_t>(vk)];
  }
  std::int16_t Poll(int vk) {
    KeyRecord* key = Find(vk);
    return key != nullptr ? key->Poll() : 0;
  }
  // Every key up, and no press remembered.
  void Clear() { keys_.fill(KeyRecord{}); }

  // What `source` (a gamepad, the touch controls) holds of `keys` goes from
  // `held` to `now` (bit k for keys[k]): a key it lets go of is released, a
  // key it takes is held unless `mayPress` is false (a pad held while the
  // window has no focus must be pressed again). `held` becomes `now`.
  template <std::size_t N>
  void HoldFrom(unsigned source, const std::array<int, N>& keys, unsigned& held, unsigned now, bool mayPress = true) {
    for (std::size_t k = 0; k < N; ++k) {
      const unsigned bit = 1u << k;
      KeyRecord* key = Find(keys[k]);
      if (((held ^ now) & bit) == 0 || key == nullptr) continue;
      if ((now & bit) == 0) {
        key->Release(source);
      } else if (mayPress) {
        key->Hold(source);
      }
    }
    held = now;
  }

 private:
  std::array<KeyRecord, 256> keys_{};
};

}  // namespace zorva
