#include "sdl/sdl_audio.h"

#include <algorithm>
#include <cstring>

namespace zorva {

namespace {

// The most source frames read and converted at a time.
constexpr std::size_t kChunkFrames = 4096;

}  // namespace

SdlAudio::SdlAudio() : chunk_(kChunkFrames * 4) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
  subsystem_ = true;
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = &SdlAudio::Fill;
  want.userdata = this;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &deviceFormat_, SDL_AUDIO_ALLOW_ANY_CHANGE);
  if (device_ == 0) {
    Close();
    return;
  }
  SDL_PauseAudioDevice(device_, 0);
}

SdlAudio::~SdlAudio() { Close(); }

void SdlAudio::Close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);  // waits for the audio thread, whose every call is short
    device_ = 0;
  }
  SDL_FreeAudioStream(stream_);
  stream_ = nullptr;
  if (subsystem_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
  }
  source_.Close();
  wave_ = nullptr;
}

void SdlAudio::Switch(SDL_AudioStream* next) {
  SDL_LockAudioDevice(device_);
  std::swap(stream_, next);
  put_ = 0;
  taken_ = 0;
  SDL_UnlockAudioDevice(device_);
  SDL_FreeAudioStream(next);
}

void SdlAudio::Play(const std::string& file) {
  if (device_ == 0) return;
  // Whatever still plays stops, even when the new file turns out unplayable.
  Switch(nullptr);
  wave_ = source_.Open(file);
  if (wave_ == nullptr) return;
  const Wave& f = wave_->format;
  total_ = wave_->bytes / static_cast<std::uint64_t>(f.FrameBytes()) * static_cast<std::uint64_t>(deviceFormat_.freq) /
           static_cast<std::uint64_t>(f.sampleRate);
  Switch(SDL_NewAudioStream(f.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB, static_cast<Uint8>(f.channels),
                            f.sampleRate, deviceFormat_.format, deviceFormat_.channels, deviceFormat_.freq));
}

void SdlAudio::Fill(void* self, Uint8* out, int len) {
  SdlAudio& a = *static_cast<SdlAudio*>(self);
  const std::size_t deviceFrame = SDL_AUDIO_BITSIZE(a.deviceFormat_.format) / 8 * a.deviceFormat_.channels;
  int done = 0;
  while (a.stream_ != nullptr && done < len) {
    const std::uint64_t wanted =
        std::min<std::uint64_t>(static_cast<std::size_t>(len - done) / deviceFrame, a.total_ - a.taken_);
    const int got = SDL_AudioStreamGet(a.stream_, out + done, static_cast<int>(wanted * deviceFrame));
    if (got > 0) {
      done += got;
      a.taken_ += static_cast<std::size_t>(got) / deviceFrame;
      continue;
    }
    // Feed the converter the source frames for the rest of this buffer, and
    // a few more. Past the end of the sound it is fed silence, as it holds
    // back the last frames it was given until more follow.
    const Wave& f = a.wave_->format;
    const auto frame = static_cast<std::size_t>(f.FrameBytes());
    const std::uint64_t frames =
        wanted * static_cast<std::uint64_t>(f.sampleRate) / static_cast<std::uint64_t>(a.deviceFormat_.freq) + 16;
    std::size_t n = 0;
    if (got == 0 && wanted > 0) {
      n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunkFrames)) * frame;
      if (a.put_ < a.wave_->bytes) {
        n = a.wave_->Read(a.put_, a.chunk_.data(), n) / frame * frame;
        a.put_ += n;
      } else {
        std::memset(a.chunk_.data(), f.bitsPerSample == 8 ? 0x80 : 0, n);
      }
    }
    // Over, or not to be read or converted any further: silence until the next.
    if (n == 0 || SDL_AudioStreamPut(a.stream_, a.chunk_.data(), static_cast<int>(n)) != 0) {
      SDL_FreeAudioStream(a.stream_);
      a.stream_ = nullptr;
    }
  }
  std::memset(out + done, a.deviceFormat_.silence, static_cast<std::size_t>(len - done));
}

double SdlAudio::SecondsLeft() const {
  if (device_ == 0) return 0;
  SDL_LockAudioDevice(device_);
  const double left = stream_ == nullptr ? 0.0 : static_cast<double>(total_ - taken_) / deviceFormat_.freq;
  SDL_UnlockAudioDevice(device_);
  return left;
}

}  // namespace zorva
