#include "base/challenge.h"

#include <array>

namespace zorva {

namespace {

constexpr std::string_view kSymbols = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int kSeedSymbols = 8;

// The value of one symbol, or -1.
int SymbolValue(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c == 'O') c = '0';
  if (c == 'I' || c == 'L') c = '1';
  const std::size_t at = kSymbols.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// The check symbol: with it, the sum of every symbol's value weighted by the
// odd numbers 1, 3, ..., 17 is a multiple of 32. Odd weights are invertible
// modulo 32, so a symbol changed always changes the sum; two neighbours
// swapped change it unless their values lie 16 apart.
int Check(const std::array<int, kSeedSymbols>& values) {
  int sum = 0;
  for (int i = 0; i < kSeedSymbols; ++i) sum += (2 * i + 1) * values[static_cast<std::size_t>(i)];
  return (32 - sum % 32) * 17 % 32;  // 17 is its own inverse modulo 32
}

}  // namespace

std::optional<std::string> ChallengeCode(std::uint64_t seed) {
  if (seed >= kChallengeSeeds) return std::nullopt;
  std::array<int, kSeedSymbols> values{};
  for (int i = kSeedSymbols - 1; i >= 0; --i, seed >>= 5) values[static_cast<std::size_t>(i)] = seed & 31;
  std::string code;
  for (int i = 0; i <= kSeedSymbols; ++i) {
    if (i == 3 || i == 6) code += '-';
    code += kSymbols[static_cast<std::size_t>(i < kSeedSymbols ? values[static_cast<std::size_t>(i)] : Check(values))];
  }
  return code;
}

std::optional<std::uint64_t> ChallengeSeed(std::string_view written) {
  std::string code(written);
  if (code.size() == 11) {
    if (code[3] != '-' || code[7] != '-') return std::nullopt;
    code.erase(7, 1), code.erase(3, 1);
  }
  if (code.size() != kSeedSymbols + 1) return std::nullopt;
  std::array<int, kSeedSymbols> values{};
  std::uint64_t seed = 0;
  for (int i = 0; i <= kSeedSymbols; ++i) {
    const int v = SymbolValue(code[static_cast<std::size_t>(i)]);
    if (v < 0) return std::nullopt;
    if (i == kSeedSymbols) return v == Check(values) ? std::optional<std::uint64_t>(seed) : std::nullopt;
    values[static_cast<std::size_t>(i)] = v;
    seed = seed << 5 | static_cast<std::uint64_t>(v);
  }
  return std::nullopt;
}

}  // namespace zorva
