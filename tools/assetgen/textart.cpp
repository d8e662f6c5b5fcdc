#include "textart.h"

#include <sstream>
#include <stdexcept>

namespace art {

namespace {
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in{std::string(text)};
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  throw std::runtime_error("line " + std::to_string(line + 1) + ": " + what);
}
}  // namespace

GridArt ParseGrids(std::string_view text) {
  GridArt art;
  art.colours['.'] = Rgb{};
  const auto lines = Lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::istringstream words(lines[i]);
    std::string word;
    if (!(words >> word) || word[0] == '#') continue;
    if (word == "colour") {
      char key = 0;
      Rgb c;
      if (!(words >> key >> c.r >> c.g >> c.b) || key == '.') Fail(i, "bad colour");
      if (c == Rgb{}) Fail(i, "only '.' is black");
      art.colours[key] = c;
    } else if (word == "grid") {
      std::string name, mode;
      Grid grid;
      if (!(words >> name >> grid.x >> grid.y)) Fail(i, "bad grid header");
      words >> mode;
      std::size_t width = 0;
      for (++i; i < lines.size() && lines[i] != "end"; ++i) {
        std::string row = lines[i];
        const std::string half = row;
        if (mode == "mirror") row += std::string(half.rbegin() + 1, half.rend());
        else if (mode == "mirror-even") row += std::string(half.rbegin(), half.rend());
        else if (!mode.empty()) Fail(i, "unknown grid mode " + mode);
        if (width == 0) width = row.size();
        if (row.size() != width || width == 0) Fail(i, "ragged grid " + name);
        for (char c : row)
          if (!art.colours.count(c)) Fail(i, std::string("unknown colour key ") + c);
        grid.rows.push_back(row);
      }
      if (i == lines.size()) Fail(i, "grid " + name + " has no end");
      art.grids[name] = grid;
    } else {
      Fail(i, "unknown line");
    }
  }
  return art;
}

std::map<char, std::vector<std::string>> ParseLetters(std::string_view text) {
  std::map<char, std::vector<std::string>> letters;
  const auto lines = Lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    if (lines[i].rfind("glyph ", 0) != 0 || lines[i].size() != 7) Fail(i, "expected glyph");
    const char c = lines[i][6];
    std::vector<std::string> rows;
    for (++i; i < lines.size() && lines[i] != "end"; ++i) {
      if (!rows.empty() && lines[i].size() != rows[0].size()) Fail(i, "ragged glyph");
      rows.push_back(lines[i]);
    }
    if (i == lines.size() || rows.empty()) Fail(i, "glyph without end");
    letters[c] = rows;
  }
  return letters;
}

void DrawGrid(Picture& picture, const GridArt& art, const Grid& grid, int dx, int dy) {
  for (std::size_t y = 0; y < grid.rows.size(); ++y)
    for (std::size_t x = 0; x < grid.rows[y].size(); ++x) {
      const char key = grid.rows[y][x];
      if (key == '.') continue;
      picture.Set(grid.x + dx + static_cast<int>(x), grid.y + dy + static_cast<int>(y),
                  picture.Colour(art.colours.at(key)));
    }
}

}  // namespace art
