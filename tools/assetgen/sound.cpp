// The explosion: a burst of noise through a closing low-pass filter over a
// falling thump, with a sharp attack and a quick decay.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "art.h"

namespace art {

std::vector<std::int16_t> MakeExplosion(int sampleRate) {
  const double seconds = 0.45;
  const int n = static_cast<int>(sampleRate * seconds);
  std::vector<double> wave(static_cast<std::size_t>(n));
  std::uint32_t lcg = 0x2545F491u;
  auto noise = [&lcg] {
    lcg = lcg * 1664525u + 1013904223u;
    return (lcg >> 8) / 8388608.0 - 1.0;
  };
  double low1 = 0, low2 = 0, phase = 0;
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    // The filter closes from a bright crack to a dull rumble.
    const double cutoff = 300 + 5200 * std::exp(-t / 0.06);
    const double a = 1 - std::exp(-2 * std::numbers::pi * cutoff / sampleRate);
    low1 += a * (noise() - low1);
    low2 += a * (low1 - low2);
    // The thump falls from 120 Hz to 40 Hz.
    phase += 2 * std::numbers::pi * (40 + 80 * std::exp(-t / 0.05)) / sampleRate;
    const double thump = std::sin(phase) * std::exp(-t / 0.09);
    const double attack = std::min(1.0, t / 0.004);
    const double decay = std::exp(-t / 0.12);
    const double tail = std::min(1.0, (seconds - t) / 0.03);
    wave[static_cast<std::size_t>(i)] = attack * tail * (decay * low2 * 2.2 + 0.55 * thump);
  }
  double peak = 0;
  for (double s : wave) peak = std::max(peak, std::abs(s));
  std::vector<std::int16_t> samples;
  for (double s : wave) samples.push_back(static_cast<std::int16_t>(std::lround(s / peak * 0.88 * 32767)));
  return samples;
}

}  // namespace art
