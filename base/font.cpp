#include "base/font.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "assets/embedded_assets.h"
#include "base/number.h"

namespace zorva {

namespace {

struct Glyph {
  int width = 0;
  std::vector<std::string> rows;  // '#' is ink
};

struct Face {
  int points = 0;
  int line = 0;    // pixels from one line to the next
  int top = 0;     // rows above the capitals
  int blank = 0;   // advance of a space
  int height = 0;  // rows of every glyph
  std::array<Glyph, 128> glyphs{};
};

// The text's lines, one at a time, without their line ends.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string& line) {
    if (at_ >= text_.size()) return false;
    const std::size_t end = std::min(text_.find('\n', at_), text_.size());
    line.assign(text_.substr(at_, end - at_));
    at_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// A whole number that is all of `word`.
bool Number(std::string_view word, int& n) {
  const std::optional<int> v = WholeNumber(word, INT_MIN, INT_MAX);
  if (v) n = *v;
  return v.has_value();
}

// Reads the typeface text built into the program (see assets/font.txt).
std::vector<Face> ReadFaces() {
  const auto bytes = embedded::FontText();
  Lines in(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  std::vector<Face> faces;
  std::string line;
  auto fail = [](const std::string& why) { throw std::logic_error("typeface: " + why); };
  while (in.Next(line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string_view> words = Words(line);
    const std::string_view word = words.empty() ? std::string_view() : words[0];
    if (word == "face") {
      Face face;
      if (words.size() < 8 || !Number(words[1], face.points) || words[2] != "line" || !Number(words[3], face.line) ||
          words[4] != "top" || !Number(words[5], face.top) || words[6] != "blank" || !Number(words[7], face.blank))
        fail("bad face line: " + line);
      faces.push_back(face);
    } else if (word == "glyph" && line.size() == 7 && !faces.empty()) {
      const unsigned char c = static_cast<unsigned char>(line[6]);
      if (c >= 128) fail("glyph outside ASCII");
      Glyph glyph;
      while (in.Next(line) && line != "end") {
        if (!glyph.rows.empty() && line.size() != glyph.rows[0].size()) fail("ragged glyph");
        glyph.rows.push_back(line);
      }
      if (glyph.rows.empty() || glyph.rows[0].empty()) fail("empty glyph");
      Face& face = faces.back();
      if (face.height == 0) face.height = static_cast<int>(glyph.rows.size());
      if (face.height != static_cast<int>(glyph.rows.size())) fail("glyph of another height");
      glyph.width = static_cast<int>(glyph.rows[0].size());
      face.glyphs[c] = std::move(glyph);
    } else {
      fail("unexpected line: " + line);
    }
  }
  if (faces.size() != 2 || faces[0].points != kDefaultFontPoints || faces[1].points != 9)
    fail("expected the default size and 9 points");
  return faces;
}

const Face& FaceFor(int points) {
  static const std::vector<Face> faces = ReadFaces();
  if (points == 0) points = kDefaultFontPoints;
  // Any other size takes the nearer of the two drawn sizes.
  return points <= kDefaultFontPoints ? faces[0] : faces[1];
}

// Walks the text one character at a time; the bytes that continue a
// multi-byte character belong to the character they follow.
template <typename Visit>
int Walk(const Face& face, std::string_view text, Visit visit) {
  int x = 0;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80 && c < 0xC0) continue;
    if (c == ' ') {
      x += face.blank;
      continue;
    }
    const Glyph* glyph = c < 128 && face.glyphs[c].width > 0 ? &face.glyphs[c] : nullptr;
    visit(x, glyph);
    x += (glyph ? glyph->width : kBoxWidth) + 1;
  }
  return x;
}

}  // namespace

int DrawText(Surface& surface, int x, int y, std::string_view text, int points, Colour colour) {
  const Face& face = FaceFor(points);
  // Positions are worked out wide, so no place however far off overflows.
  const long long top = static_cast<long long>(y) + face.top;
  auto plot = [&surface, colour](long long px, long long py) {
    if (px >= 0 && py >= 0 && px < surface.Width() && py < surface.Height())
      surface.PSet(static_cast<int>(px), static_cast<int>(py), colour);
  };
  return Walk(face, text, [&](int at, const Glyph* glyph) {
    const long long left = static_cast<long long>(x) + at;
    if (!glyph) {
      // A narrow box for a character the face does not have.
      for (int r = 0; r < face.height; ++r)
        for (int c = 0; c < kBoxWidth; ++c)
          if (r == 0 || r == face.height - 1 || c == 0 || c == kBoxWidth - 1) plot(left + c, top + r);
      return;
    }
    for (int r = 0; r < face.height; ++r)
      for (int c = 0; c < glyph->width; ++c)
        if (glyph->rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] == '#') plot(left + c, top + r);
  });
}

int TextWidth(std::string_view text, int points) {
  return Walk(FaceFor(points), text, [](int, const Glyph*) {});
}

int LineHeight(int points) { return FaceFor(points).line; }

bool HasGlyph(char c, int points) {
  const unsigned char u = static_cast<unsigned char>(c);
  return c == ' ' || (u < 128 && FaceFor(points).glyphs[u].width > 0);
}

}  // namespace zorva
