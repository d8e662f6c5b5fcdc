// Whole numbers read from the command line and from key scripts.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace zorva {

// The number `s` writes in decimal digits (a minus sign first for a signed
// type), if it is nothing else and lies in min..max. An empty text, a plus
// sign, spaces, a fraction or a number past the type's range give nothing.
template <class T>
std::optional<T> WholeNumber(std::string_view s, T min, T max) {
  T v{};
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return std::nullopt;
  return v;
}

}  // namespace zorva
