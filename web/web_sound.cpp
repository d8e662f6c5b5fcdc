// The page's sound files, read by the game's own wave reader and converted as
// the real window converts them for its device: the browser's decoder refuses
// rates that the game plays (1,000 Hz, for one), and files that the game
// refuses stay silent in the page too. The page (index.html) fetches a file,
// hands its bytes over and makes an AudioBuffer of the samples that come back.
#include <emscripten.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/wav.h"
#include "web/web_sound.h"

namespace {

std::vector<std::uint8_t> fileBytes;
std::optional<zorva::Wave> wave;
std::vector<float> samples;
std::int32_t converted[3];  // channels, frames a channel, where the samples are

}  // namespace

extern "C" {

// Room for a file of n bytes, to be read by zorva_wave_read.
EMSCRIPTEN_KEEPALIVE std::uint8_t* zorva_wave_bytes(int n) {
  fileBytes.assign(n > 0 ? static_cast<std::size_t>(n) : 0, 0);
  return fileBytes.data();
}

// Reads the file put into zorva_wave_bytes: its rate, or 0 when it is not a
// playable wave.
EMSCRIPTEN_KEEPALIVE int zorva_wave_read() {
  wave = zorva::ParseWave(fileBytes);
  fileBytes = {};
  return wave ? wave->sampleRate : 0;
}

// The samples of the file read last at `rate` frames a second, channel after
// channel: channels, frames a channel and the address of the first sample.
EMSCRIPTEN_KEEPALIVE const std::int32_t* zorva_wave_convert(int rate) {
  samples = wave ? zorva::ConvertWave(*wave, rate) : std::vector<float>{};
  const int channels = wave ? wave->channels : 1;
  converted[0] = channels;
  converted[1] = static_cast<std::int32_t>(samples.size() / static_cast<std::size_t>(channels));
  converted[2] = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(samples.data()));
  wave.reset();
  return converted;
}

}  // extern "C"

namespace zorva {

namespace {

// Module.waveBuffer(audio, bytes): a wave file's bytes as an AudioBuffer of
// the context `audio`, or null. The buffer keeps the file's own rate when the
// browser takes it, and is converted to the nearest rate every browser takes
// otherwise (8,000 to 96,000 Hz).
// The JavaScript pieces stay as written: the formatter reads them as C++.
// clang-format off
EM_JS(void, js_wave_reader, (), {
  Module.waveBuffer = (audio, bytes) => {
    const room = _zorva_wave_bytes(bytes.byteLength);
    HEAPU8.set(new Uint8Array(bytes), room);
    const rate = _zorva_wave_read();
    if (!rate) return null;
    let to = rate;
    try {
      audio.createBuffer(1, 1, rate);
    } catch (refused) {
      to = Math.min(Math.max(rate, 8000), 96000);
    }
    const at = _zorva_wave_convert(to) >> 2;
    const channels = HEAP32[at], frames = HEAP32[at + 1], first = HEAP32[at + 2] >> 2;
    if (!frames) return null;
    const buffer = audio.createBuffer(channels, frames, to);
    for (let c = 0; c < channels; ++c) {
      buffer.copyToChannel(HEAPF32.subarray(first + c * frames, first + (c + 1) * frames), c);
    }
    return buffer;
  };
});
// clang-format on

}  // namespace

void InstallWaveReader() { js_wave_reader(); }

}  // namespace zorva
