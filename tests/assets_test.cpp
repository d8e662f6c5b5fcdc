// The committed artwork and sound: reproducible from the generator, in the
// exact format the program reads, and every figure inside its extent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "app/bmp.h"
#include "app/images.h"
#include "app/wav.h"
#include "sim/sim_window.h"
#include "tools/embedded_assets.h"

namespace zorva {
namespace {

namespace fs = std::filesystem;
const fs::path kAssets = fs::path(ZORVA_SOURCE_DIR) / "assets";
const std::string kSound = reinterpret_cast<const char*>(u8"効果音.wav");

std::vector<std::uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

BmpImage Committed(const std::string& name) {
  const auto bytes = Bytes(kAssets / name);
  BmpResult r = ReadBmp(bytes);
  EXPECT_TRUE(r) << name << ": " << r.error;
  return r.image;
}

struct Box {
  int x0, y0, x1, y1;  // inclusive
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

TEST(Assets, RegeneratingGivesTheCommittedBytes) {
  const fs::path out = fs::path(ZORVA_BINARY_DIR) / "assets-regenerated";
  fs::remove_all(out);
  const std::string command = std::string("\"") + ZORVA_BINARY_DIR + "/zorva-assetgen\" \"" + out.string() + "\" > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::set<std::string> made, committed;
  for (const auto& e : fs::directory_iterator(out)) made.insert(e.path().filename().string());
  for (const auto& e : fs::directory_iterator(kAssets)) committed.insert(e.path().filename().string());
  EXPECT_EQ(made, committed);
  for (const std::string& name : made) EXPECT_EQ(Bytes(out / name), Bytes(kAssets / name)) << name;
  fs::remove_all(out);
}

TEST(Assets, TheProgramCarriesTheCommittedFiles) {
  const struct {
    const char* file;
    std::span<const std::uint8_t> bytes;
  } embedded[] = {{"logo.bmp", embedded::LogoBmp()},
                  {"lettering.bmp", embedded::LetteringBmp()},
                  {"sprites.bmp", embedded::SpriteSheetBmp()},
                  {"icon.bmp", embedded::IconBmp()}};
  for (const auto& e : embedded) {
    const auto file = Bytes(kAssets / e.file);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), e.bytes.begin(), e.bytes.end())) << e.file;
  }
  // The sound effect lies in the program's folder.
  EXPECT_EQ(Bytes(fs::path(ZORVA_BINARY_DIR) / kSound), Bytes(kAssets / kSound));
}

TEST(Assets, ImagesHaveTheExactFormat) {
  const struct {
    const char* file;
    int width, height;
    std::uintmax_t size;
  } images[] = {{"logo.bmp", 263, 229, 61534},
                {"lettering.bmp", 279, 167, 47838},
                {"sprites.bmp", 192, 64, 13366},
                {"icon.bmp", 32, 32, 2102}};
  for (const auto& i : images) {
    SCOPED_TRACE(i.file);
    EXPECT_EQ(fs::file_size(kAssets / i.file), i.size);
    const auto bytes = Bytes(kAssets / i.file);
    BmpResult r = ReadBmp(bytes, i.width, i.height);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.image.palette[0], 0u);
    std::set<int> used;
    for (std::uint8_t index : r.image.indices) used.insert(index);
    for (int index : used) {
      if (index != 0) {
        EXPECT_NE(r.image.palette[static_cast<std::size_t>(index)], 0u) << "black entry " << index;
      }
    }
    EXPECT_GE(used.size(), 12u) << "a picture, not a blank";
  }
}

// Every pixel of an image that is not black lies in one of its figures'
// extents, and every figure has ink near each edge of its extent.
void ExpectFigures(const BmpImage& img, const std::vector<std::pair<const char*, Box>>& figures) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      if (img.indices[static_cast<std::size_t>(y * img.width + x)] == 0) continue;
      bool inside = false;
      for (const auto& f : figures) inside = inside || f.second.Holds(x, y);
      EXPECT_TRUE(inside) << "stray pixel at " << x << "," << y;
    }
  for (const auto& [name, box] : figures) {
    Box ink{box.x1, box.y1, box.x0, box.y0};
    for (int y = box.y0; y <= box.y1; ++y)
      for (int x = box.x0; x <= box.x1; ++x)
        if (img.indices[static_cast<std::size_t>(y * img.width + x)] != 0)
          ink = {std::min(ink.x0, x), std::min(ink.y0, y), std::max(ink.x1, x), std::max(ink.y1, y)};
    // Sprites are small and may leave a few pixels; the large figures fill
    // their extent to within a tenth of its size.
    const int slackX = std::max(6, (box.x1 - box.x0) / 10), slackY = std::max(6, (box.y1 - box.y0) / 10);
    EXPECT_LE(ink.x0 - box.x0, slackX) << name;
    EXPECT_LE(box.x1 - ink.x1, slackX) << name;
    EXPECT_LE(ink.y0 - box.y0, slackY) << name;
    EXPECT_LE(box.y1 - ink.y1, slackY) << name;
  }
}

TEST(Assets, LogoStaysInItsExtent) {
  ExpectFigures(Committed("logo.bmp"), {{"logo", {3, 3, 258, 222}}});
}

TEST(Assets, LetteringGroupsStayInTheirExtents) {
  const BmpImage img = Committed("lettering.bmp");
  ExpectFigures(img, {{"title", {2, 1, 274, 46}}, {"GAME OVER", {2, 48, 156, 128}}, {"PUSH SPACE KEY", {4, 134, 246, 161}}});
  // The rectangles drawn hold nothing but their own lettering.
  const struct {
    Box drawn, lettering;
  } rects[] = {{{0, 46, 159, 129}, {2, 48, 156, 128}}, {{0, 130, 262, 161}, {4, 134, 246, 161}}};
  for (const auto& r : rects)
    for (int y = r.drawn.y0; y <= r.drawn.y1; ++y)
      for (int x = r.drawn.x0; x <= r.drawn.x1; ++x)
        if (img.indices[static_cast<std::size_t>(y * img.width + x)] != 0) {
          EXPECT_TRUE(r.lettering.Holds(x, y)) << x << "," << y;
        }
}

TEST(Assets, SpriteCellsStayInTheirFigures) {
  const BmpImage img = Committed("sprites.bmp");
  auto cell = [](int cx, int cy, Box b) { return Box{cx + b.x0, cy + b.y0, cx + b.x1, cy + b.y1}; };
  std::vector<std::pair<const char*, Box>> figures = {
      {"ship", cell(0, 0, {1, 1, 29, 29})},         {"shot", cell(32, 0, {4, 1, 25, 30})},
      {"enemy", cell(64, 0, {0, 0, 31, 30})},       {"bullet", cell(96, 0, {4, 1, 25, 30})},
      {"white flame", cell(128, 0, {4, 1, 25, 30})}, {"explosion 0", cell(0, 32, {5, 4, 27, 26})},
  };
  const char* names[] = {"", "explosion 1", "explosion 2", "explosion 3", "explosion 4", "explosion 5"};
  for (int f = 1; f < 6; ++f) figures.push_back({names[f], cell(32 * f, 32, {0, 0, 31, 31})});
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      if (img.indices[static_cast<std::size_t>(y * img.width + x)] == 0) continue;
      bool inside = false;
      for (const auto& f : figures) inside = inside || f.second.Holds(x, y);
      EXPECT_TRUE(inside) << "stray pixel at " << x << "," << y;
      EXPECT_FALSE(x >= 160 && y < 32) << "cell (160, 0) must stay empty";
    }
  // Every figure has ink, and the explosion grows then burns out.
  auto inkIn = [&img](Box b) {
    int n = 0;
    for (int y = b.y0; y <= b.y1; ++y)
      for (int x = b.x0; x <= b.x1; ++x) n += img.indices[static_cast<std::size_t>(y * img.width + x)] != 0;
    return n;
  };
  for (const auto& f : figures) EXPECT_GT(inkIn(f.second), 20) << f.first;
  int frame[6];
  for (int f = 0; f < 6; ++f) frame[f] = inkIn({32 * f, 32, 32 * f + 31, 63});
  EXPECT_LT(frame[0], frame[1]);
  EXPECT_LT(frame[1], frame[2]);
  EXPECT_GT(frame[2], frame[3]);
  EXPECT_GT(frame[3], frame[5]);
  // The ring of frame 3 has a dark centre.
  EXPECT_EQ(inkIn({3 * 32 + 14, 46, 3 * 32 + 17, 49}), 0);
}

TEST(Assets, IconIsTheShipInSixteenColours) {
  const BmpImage icon = Committed("icon.bmp");
  const BmpImage sheet = Committed("sprites.bmp");
  for (std::uint8_t index : icon.indices) EXPECT_LT(index, 16);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      EXPECT_EQ(icon.pixels[static_cast<std::size_t>(y * 32 + x)], sheet.pixels[static_cast<std::size_t>(y * 192 + x)])
          << x << "," << y;
  const Surface s = WindowIcon();
  EXPECT_EQ(s.Width(), 32);
  EXPECT_EQ(s.Height(), 32);
  EXPECT_EQ(s.Pixel(0, 0), 0u);
  const auto png = Bytes(kAssets / "icon.png");
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

TEST(Assets, SoundIsAShortExplosion) {
  const auto wave = LoadWaveFile((kAssets / kSound).string());
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->channels, 1);
  EXPECT_EQ(wave->bitsPerSample, 16);
  const std::size_t n = wave->data.size() / 2;
  const double seconds = static_cast<double>(n) / wave->sampleRate;
  EXPECT_GE(seconds, 0.2);
  EXPECT_LE(seconds, 0.6);
  auto sample = [&wave](std::size_t i) {
    return static_cast<std::int16_t>(wave->data[2 * i] | (wave->data[2 * i + 1] << 8));
  };
  // Loud at once, fading away, silent at the end: no click.
  auto energy = [&](std::size_t from, std::size_t to) {
    double e = 0;
    for (std::size_t i = from; i < to; ++i) e += std::abs(static_cast<double>(sample(i)));
    return e / static_cast<double>(to - from);
  };
  EXPECT_GT(energy(0, n / 5), 3 * energy(3 * n / 5, 4 * n / 5));
  EXPECT_GT(energy(0, n / 5), 2000);
  EXPECT_LT(std::abs(sample(n - 1)), 200);
  int peak = 0;
  for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(static_cast<int>(sample(i))));
  EXPECT_LT(peak, 32767) << "clipped";
}

TEST(Assets, WindowImagesLoadWithExactBlack) {
  SimWindow w;
  LoadWindowImages(w);
  const struct {
    const Surface* s;
    int width, height;
  } surfaces[] = {{&w.Titlebmp, 263, 229}, {&w.Res, 279, 167}, {&w.Chr, 192, 64}};
  for (const auto& s : surfaces) {
    EXPECT_EQ(s.s->Width(), s.width);
    EXPECT_EQ(s.s->Height(), s.height);
    EXPECT_EQ(s.s->Pixel(0, 0), 0u);
    EXPECT_EQ(s.s->Border(), 0);
  }
  // The ship's cockpit is blue, its exhaust red.
  const Colour nose = w.Chr.Pixel(15, 6);
  EXPECT_GT((nose >> 16) & 0xFF, nose & 0xFF);
  const Colour exhaust = w.Chr.Pixel(15, 28);
  EXPECT_GT(exhaust & 0xFF, (exhaust >> 16) & 0xFF);
}

TEST(Assets, BadImageNamesItself) {
  const auto bytes = Bytes(kAssets / "sprites.bmp");
  ASSERT_FALSE(bytes.empty());
  try {
    ImageSurface("sprite sheet", std::span(bytes).first(bytes.size() - 1), 192, 64);
    FAIL() << "accepted a truncated image";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("sprite sheet"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ImageSurface("logo", Bytes(kAssets / "logo.bmp"), 264, 229), std::runtime_error);
}

}  // namespace
}  // namespace zorva
