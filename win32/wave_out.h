// The wave player of the Windows window: one waveOut device opened at
// start-up, fed by a thread of its own. The sound playing is read from its
// file and converted to the device's format (44.1 kHz, 16-bit stereo) only as
// the device asks for it, a buffer at a time, so starting a sound costs next
// to nothing, whatever the file's length and rate. A new sound replaces the
// one still playing. Without a device the game is simply silent.
#pragma once

#include "win32/windows_api.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/wav.h"

namespace zorva {

class WaveOut {
 public:
  static constexpr int kRate = 44100;

  WaveOut();
  ~WaveOut();
  WaveOut(const WaveOut&) = delete;
  WaveOut& operator=(const WaveOut&) = delete;

  bool IsOpen() const { return device_ != nullptr; }
  // Starts playing a wave file at once, stopping whatever still plays. A file
  // that is missing or not a playable wave plays nothing.
  void Play(const std::string& file);
  // Whether a sound is playing.
  bool Playing();
  void Close();

 private:
  static constexpr std::size_t kBuffers = 4, kBufferFrames = 1024;
  void Feed();
  // Fills one buffer of the device from the sound playing (the lock held).
  void Fill(std::int16_t* out);
  // Source frame `i` as 16-bit stereo, read through the chunk cache.
  bool Frame(std::uint64_t i, int& left, int& right);

  HWAVEOUT device_ = nullptr;
  HANDLE ready_ = nullptr;  // set by the device whenever a buffer is done
  std::thread feeder_;
  bool stop_ = false;
  std::array<WAVEHDR, kBuffers> headers_{};
  std::vector<std::int16_t> samples_;

  std::mutex mutex_;  // guards what follows, shared with the feeder
  WaveSource source_;
  const WaveFile* wave_ = nullptr;  // the sound playing, or last played
  bool playing_ = false;
  std::uint64_t frames_ = 0;    // source frames of the sound
  std::uint64_t position_ = 0;  // in source frames, 32.32 fixed point
  std::uint64_t step_ = 0;      // source frames per device frame, 32.32
  std::vector<std::uint8_t> chunk_;
  std::uint64_t chunkStart_ = 0, chunkFrames_ = 0;
};

}  // namespace zorva
