// The wave player of the real window: one SDL audio device opened at start-up.
// The sound playing is read from its file and converted to the device's
// format only as the device asks for it, a little at a time on the audio
// thread, so starting a sound costs next to nothing, whatever the file's
// length and rate. A new sound replaces the one still playing. Without a
// device the game is simply silent.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/wav.h"

namespace zorva {

class SdlAudio {
 public:
  SdlAudio();
  ~SdlAudio();
  SdlAudio(const SdlAudio&) = delete;
  SdlAudio& operator=(const SdlAudio&) = delete;

  // Whether a device could be opened.
  bool IsOpen() const { return device_ != 0; }
  // Starts playing a wave file at once, stopping whatever still plays. A file
  // that is missing or not a playable wave plays nothing.
  void Play(const std::string& file);
  // Seconds of the sound playing that the device has still to take.
  double SecondsLeft() const;
  // Closes the device (again harmless).
  void Close();

 private:
  // The audio callback: fills the device's buffer from the sound playing.
  static void Fill(void* self, Uint8* out, int len);
  // Puts a new converter in place of the one playing (null: silence).
  void Switch(SDL_AudioStream* next);

  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec deviceFormat_{};
  bool subsystem_ = false;
  WaveSource source_;
  const WaveFile* wave_ = nullptr;  // the sound playing, or last played
  std::uint64_t total_ = 0;         // device frames the sound lasts
  // Shared with the audio thread, under the device's lock: the converter of
  // the sound playing (null: silence), the sample bytes put into it, the
  // device frames taken from it, and a buffer for what goes in.
  SDL_AudioStream* stream_ = nullptr;
  std::uint64_t put_ = 0, taken_ = 0;
  std::vector<std::uint8_t> chunk_;
};

}  // namespace zorva
