#include "board/names.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>
#include <cstdio>

namespace zorva {

namespace {

// The characters glibc counts as graphic that a name must not hold anyway:
// the format characters, private use, and the spaces other than U+0020.
constexpr struct {
  char32_t first, last;
} kRefused[] = {
    {0x00A0, 0x00A0},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},    {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x1680, 0x1680},    {0x180E, 0x180E},
    {0x2000, 0x200F},   {0x2028, 0x202F},   {0x205F, 0x206F},   {0x3000, 0x3000},    {0xE000, 0xF8FF},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},  {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE007F}, {0xF0000, 0x10FFFF},
};

locale_t Unicode() {
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return unicode;
}

// The next code point of `s` from `at` on, moving `at` past it; -1 for bytes
// that are not UTF-8 (overlong forms and surrogates included).
std::int32_t NextCodePoint(std::string_view s, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = byte(at);
  int extra = b < 0x80 ? 0 : b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : -1;
  if (extra < 0 || at + static_cast<std::size_t>(extra) >= s.size()) return -1;
  std::int32_t cp = extra == 0 ? b : b & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    if ((byte(at + static_cast<std::size_t>(i)) & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (byte(at + static_cast<std::size_t>(i)) & 0x3F);
  }
  const std::int32_t least[] = {0, 0x80, 0x800, 0x10000};
  if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  at += static_cast<std::size_t>(extra) + 1;
  return cp;
}

}  // namespace

std::optional<std::string> PlayerName(std::string_view text, std::string& why) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) {
    why = "A name is needed: 1 to 24 letters, digits, spaces or punctuation marks.";
    return std::nullopt;
  }
  int characters = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::int32_t cp = NextCodePoint(text, at);
    if (cp < 0) {
      why = "The name is not written in UTF-8.";
      return std::nullopt;
    }
    const auto c = static_cast<wint_t>(cp);
    bool refused = cp != ' ' && !iswalnum_l(c, Unicode()) && !iswpunct_l(c, Unicode());
    for (const auto& range : kRefused)
      refused =
          refused || (cp >= static_cast<std::int32_t>(range.first) && cp <= static_cast<std::int32_t>(range.last));
    if (refused) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
      why = std::string("The name holds the character ") + code +
            ", which is not a letter, a digit, a space or a punctuation mark.";
      return std::nullopt;
    }
    if (++characters > kNameMaxCharacters) {
      why = "The name is longer than 24 characters.";
      return std::nullopt;
    }
  }
  return std::string(text);
}

}  // namespace zorva
