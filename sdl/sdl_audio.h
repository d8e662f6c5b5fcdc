// The wave player of the real window: one SDL audio device opened at start-up,
// fed from a queue. A new sound replaces the one still playing. Without a
// device the game is simply silent.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace zorva {

class SdlAudio {
 public:
  SdlAudio();
  ~SdlAudio();
  SdlAudio(const SdlAudio&) = delete;
  SdlAudio& operator=(const SdlAudio&) = delete;

  // Whether a device could be opened.
  bool IsOpen() const { return device_ != 0; }
  // Starts playing a wave file at once, dropping whatever was still queued.
  // A file that is missing or not a playable wave plays nothing.
  void Play(const std::string& file);
  // Bytes of sound still waiting to be played.
  std::uint32_t QueuedBytes() const;
  // Closes the device (again harmless).
  void Close();

 private:
  // A file already read and converted to the device's format; it is read
  // again only when its size or modification time changes.
  struct Decoded {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified{};
    std::vector<std::uint8_t> samples;  // empty: not playable
  };
  const Decoded* Load(const std::string& file);

  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec deviceFormat_{};
  bool subsystem_ = false;
  std::unordered_map<std::string, Decoded> cache_;
};

}  // namespace zorva
