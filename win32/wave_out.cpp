#include "win32/wave_out.h"

#include <algorithm>
#include <cstring>

#include "platform/wide.h"

namespace zorva {

namespace {

// The most source frames read from the file at a time.
constexpr std::uint64_t kChunkFrames = 4096;

}  // namespace

WaveOut::WaveOut() : samples_(kBuffers * kBufferFrames * 2), chunk_(kChunkFrames * 4) {
  ready_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (ready_ == nullptr) return;
  // 16-bit stereo at the device's one rate.
  WAVEFORMATEX format{.wFormatTag = WAVE_FORMAT_PCM,
                      .nChannels = 2,
                      .nSamplesPerSec = kRate,
                      .nAvgBytesPerSec = kRate * 4,
                      .nBlockAlign = 4,
                      .wBitsPerSample = 16,
                      .cbSize = 0};
  if (waveOutOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(ready_), 0, CALLBACK_EVENT) !=
      MMSYSERR_NOERROR) {
    device_ = nullptr;
    Close();
    return;
  }
  for (std::size_t i = 0; i < kBuffers; ++i) {
    WAVEHDR& h = headers_[i];
    h.lpData = reinterpret_cast<LPSTR>(samples_.data() + i * kBufferFrames * 2);
    h.dwBufferLength = kBufferFrames * 4;
    waveOutPrepareHeader(device_, &h, sizeof h);
    h.dwFlags |= WHDR_DONE;  // ready to be filled
  }
  SetEvent(ready_);
  feeder_ = std::thread([this] { Feed(); });
}

WaveOut::~WaveOut() { Close(); }

void WaveOut::Close() {
  if (feeder_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    SetEvent(ready_);
    feeder_.join();
  }
  if (device_ != nullptr) {
    waveOutReset(device_);
    for (WAVEHDR& h : headers_) waveOutUnprepareHeader(device_, &h, sizeof h);
    waveOutClose(device_);
    device_ = nullptr;
  }
  if (ready_ != nullptr) CloseHandle(ready_);
  ready_ = nullptr;
  source_.Close();
  wave_ = nullptr;
  playing_ = false;
}

void WaveOut::Play(const std::string& file) {
  if (device_ == nullptr) return;
  {
    std::lock_guard lock(mutex_);
    playing_ = false;  // whatever still plays stops, even when the new file turns out unplayable
    wave_ = source_.Open(file);
    if (wave_ != nullptr) {
      const Wave& f = wave_->format;
      frames_ = wave_->bytes / static_cast<std::uint64_t>(f.FrameBytes());
      step_ = (static_cast<std::uint64_t>(f.sampleRate) << 32) / kRate;
      position_ = 0;
      chunkFrames_ = 0;
      playing_ = frames_ > 0;
    }
  }
  // What the device still holds of the last sound is dropped: the new one
  // starts with the next buffer.
  waveOutReset(device_);
}

bool WaveOut::Playing() {
  std::lock_guard lock(mutex_);
  return playing_;
}

void WaveOut::Feed() {
  for (;;) {
    WaitForSingleObject(ready_, INFINITE);
    std::lock_guard lock(mutex_);
    if (stop_) return;
    for (WAVEHDR& h : headers_) {
      if ((h.dwFlags & WHDR_DONE) == 0) continue;
      Fill(reinterpret_cast<std::int16_t*>(h.lpData));
      h.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
      waveOutWrite(device_, &h, sizeof h);
    }
  }
}

bool WaveOut::Frame(std::uint64_t i, int& left, int& right) {
  if (i >= frames_) return false;
  const Wave& f = wave_->format;
  const auto frame = static_cast<std::uint64_t>(f.FrameBytes());
  if (i < chunkStart_ || i >= chunkStart_ + chunkFrames_) {
    chunkStart_ = i;
    const std::size_t want = static_cast<std::size_t>(std::min(kChunkFrames, frames_ - i) * frame);
    // A file that has shrunk since it was opened ends where it now ends.
    chunkFrames_ = wave_->Read(i * frame, chunk_.data(), want) / frame;
    if (chunkFrames_ == 0) {
      frames_ = i;
      return false;
    }
  }
  const std::uint8_t* p = chunk_.data() + (i - chunkStart_) * frame;
  const auto sample = [&](int c) {
    return f.bitsPerSample == 8 ? (p[c] - 128) * 256 : static_cast<std::int16_t>(p[2 * c] | (p[2 * c + 1] << 8));
  };
  left = sample(0);
  right = f.channels == 2 ? sample(1) : left;
  return true;
}

void WaveOut::Fill(std::int16_t* out) {
  for (std::size_t n = 0; n < kBufferFrames; ++n) {
    int l0 = 0, r0 = 0, l1 = 0, r1 = 0;
    const std::uint64_t i = position_ >> 32;
    if (!playing_ || !Frame(i, l0, r0)) {
      playing_ = false;
      std::fill(out + 2 * n, out + 2 * kBufferFrames, std::int16_t{0});
      return;
    }
    if (!Frame(i + 1, l1, r1)) l1 = l0, r1 = r0;
    // Linear between the two source frames around the device frame's moment.
    const auto t = static_cast<std::int64_t>((position_ >> 16) & 0xFFFF);
    out[2 * n] = static_cast<std::int16_t>(l0 + (static_cast<std::int64_t>(l1 - l0) * t >> 16));
    out[2 * n + 1] = static_cast<std::int16_t>(r0 + (static_cast<std::int64_t>(r1 - r0) * t >> 16));
    position_ += step_;
  }
}

}  // namespace zorva
