// Whole numbers, and the words they stand among, read from the command line,
// key scripts and the typeface's text.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

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

// The words of `line`, between spaces and tabs.
inline std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace zorva
