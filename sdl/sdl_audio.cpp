#include "sdl/sdl_audio.h"

#include <system_error>

#include "base/wav.h"

namespace zorva {

namespace {

// Keeps the cache small whatever the game asks to play (it plays one file).
constexpr std::size_t kCachedFiles = 8;

}  // namespace

SdlAudio::SdlAudio() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
  subsystem_ = true;
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
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
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (subsystem_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
  }
  cache_.clear();
}

const SdlAudio::Decoded* SdlAudio::Load(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path path(file);
  if (!fs::is_regular_file(path, error)) {
    cache_.erase(file);
    return nullptr;
  }
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return nullptr;
  const fs::file_time_type modified = fs::last_write_time(path, error);
  if (error) return nullptr;

  auto found = cache_.find(file);
  if (found != cache_.end() && found->second.size == size && found->second.modified == modified) {
    return &found->second;
  }
  if (found == cache_.end() && cache_.size() >= kCachedFiles) cache_.clear();

  Decoded& decoded = cache_[file];
  decoded.size = size;
  decoded.modified = modified;
  decoded.samples.clear();
  const std::optional<Wave> wave = LoadWaveFile(file);
  if (!wave || wave->data.empty()) return &decoded;

  // Convert to whatever the device plays.
  const SDL_AudioFormat format = wave->bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  SDL_AudioStream* stream = SDL_NewAudioStream(format, static_cast<Uint8>(wave->channels), wave->sampleRate,
                                               deviceFormat_.format, deviceFormat_.channels, deviceFormat_.freq);
  if (stream == nullptr) return &decoded;
  if (SDL_AudioStreamPut(stream, wave->data.data(), static_cast<int>(wave->data.size())) == 0 &&
      SDL_AudioStreamFlush(stream) == 0) {
    const int available = SDL_AudioStreamAvailable(stream);
    if (available > 0) {
      decoded.samples.resize(static_cast<std::size_t>(available));
      const int got = SDL_AudioStreamGet(stream, decoded.samples.data(), available);
      decoded.samples.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    }
  }
  SDL_FreeAudioStream(stream);
  return &decoded;
}

void SdlAudio::Play(const std::string& file) {
  if (device_ == 0) return;
  // Whatever still plays stops, even when the new file turns out unplayable.
  SDL_ClearQueuedAudio(device_);
  const Decoded* decoded = Load(file);
  if (decoded == nullptr || decoded->samples.empty()) return;
  SDL_QueueAudio(device_, decoded->samples.data(), static_cast<Uint32>(decoded->samples.size()));
}

std::uint32_t SdlAudio::QueuedBytes() const { return device_ == 0 ? 0 : SDL_GetQueuedAudioSize(device_); }

}  // namespace zorva
