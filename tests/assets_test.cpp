// The committed artwork and sound: reproducible from the generator, in the
// exact format the program reads, and every figure inside its extent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include "base/bmp.h"
#include "present/images.h"
#include "base/wav.h"
#include "sim/sim_window.h"
#include "tests/file_support.h"
#include "tools/embedded_assets.h"

namespace zorva {
namespace {

const fs::path kAssets = fs::path(ZORVA_SOURCE_DIR) / "assets";
const std::string kSound = reinterpret_cast<const char*>(u8"効果音.wav");

BmpImage Committed(const std::string& name) {
  BmpResult r = ReadBmp(ReadBytes(kAssets / name));
  EXPECT_TRUE(r) << name << ": " << r.error;
  return r.image;
}

struct Box {
  int x0, y0, x1, y1;  // inclusive
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

int Ink(const BmpImage& img, Box b) {
  int n = 0;
  for (int y = b.y0; y <= b.y1; ++y)
    for (int x = b.x0; x <= b.x1; ++x) n += img.indices[static_cast<std::size_t>(y * img.width + x)] != 0;
  return n;
}

// Every pixel that is not black lies in one of the figures' extents; with
// `filled`, every figure also has ink near each edge of its extent (within a
// tenth of its size, at least 6 pixels).
void ExpectFigures(const BmpImage& img, const std::vector<Box>& figures, bool filled) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.indices[static_cast<std::size_t>(y * img.width + x)] != 0) {
        EXPECT_TRUE(std::any_of(figures.begin(), figures.end(), [&](Box f) { return f.Holds(x, y); }))
            << "stray pixel at " << x << "," << y;
      }
  for (const Box& b : figures) {
    EXPECT_GT(Ink(img, b), 20) << b.x0 << "," << b.y0;
    if (!filled) continue;
    const int sx = std::max(6, (b.x1 - b.x0) / 10), sy = std::max(6, (b.y1 - b.y0) / 10);
    EXPECT_GT(Ink(img, {b.x0, b.y0, b.x0 + sx, b.y1}), 0) << b.x0 << "," << b.y0 << " left";
    EXPECT_GT(Ink(img, {b.x1 - sx, b.y0, b.x1, b.y1}), 0) << b.x0 << "," << b.y0 << " right";
    EXPECT_GT(Ink(img, {b.x0, b.y0, b.x1, b.y0 + sy}), 0) << b.x0 << "," << b.y0 << " top";
    EXPECT_GT(Ink(img, {b.x0, b.y1 - sy, b.x1, b.y1}), 0) << b.x0 << "," << b.y0 << " bottom";
  }
}

TEST(Assets, RegeneratingGivesTheCommittedBytesAndTheProgramCarriesThem) {
  const fs::path out = fs::path(ZORVA_BINARY_DIR) / "assets-regenerated";
  fs::remove_all(out);
  ASSERT_EQ(std::system(("\"" ZORVA_BINARY_DIR "/zorva-assetgen\" \"" + out.string() + "\" > /dev/null").c_str()), 0);
  std::set<std::string> made, committed;
  for (const auto& e : fs::directory_iterator(out)) made.insert(e.path().filename().string());
  for (const auto& e : fs::directory_iterator(kAssets)) committed.insert(e.path().filename().string());
  EXPECT_EQ(made, committed);
  for (const std::string& name : made) EXPECT_EQ(ReadBytes(out / name), ReadBytes(kAssets / name)) << name;
  fs::remove_all(out);
  const std::pair<const char*, std::span<const std::uint8_t>> embedded[] = {
      {"logo.bmp", embedded::LogoBmp()}, {"lettering.bmp", embedded::LetteringBmp()},
      {"sprites.bmp", embedded::SpriteSheetBmp()}, {"icon.bmp", embedded::IconBmp()}};
  for (const auto& [file, bytes] : embedded) EXPECT_EQ(ReadBytes(kAssets / file), Bytes(bytes.begin(), bytes.end())) << file;
  EXPECT_EQ(ReadBytes(fs::path(ZORVA_BINARY_DIR) / kSound), ReadBytes(kAssets / kSound));  // in the program's folder
}

TEST(Assets, ImagesHaveTheExactFormat) {
  const struct {
    const char* file;
    int width, height;
    std::uintmax_t size;
  } images[] = {{"logo.bmp", 263, 229, 61534}, {"lettering.bmp", 279, 167, 47838}, {"sprites.bmp", 192, 64, 13366},
                {"icon.bmp", 32, 32, 2102}};
  for (const auto& i : images) {
    SCOPED_TRACE(i.file);
    EXPECT_EQ(fs::file_size(kAssets / i.file), i.size);
    BmpResult r = ReadBmp(ReadBytes(kAssets / i.file), i.width, i.height);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.image.palette[0], 0u);
    const std::set<int> used(r.image.indices.begin(), r.image.indices.end());
    for (int index : used) EXPECT_TRUE(index == 0 || r.image.palette[static_cast<std::size_t>(index)] != 0) << "black entry " << index;
    EXPECT_GE(used.size(), 12u) << "a picture, not a blank";
  }
}

TEST(Assets, FiguresStayInTheirExtents) {
  ExpectFigures(Committed("logo.bmp"), {{3, 3, 258, 222}}, true);
  const BmpImage letters = Committed("lettering.bmp");
  ExpectFigures(letters, {{2, 1, 274, 46}, {2, 48, 156, 128}, {4, 134, 246, 161}}, true);
  // The rectangles the game draws hold nothing but their own lettering.
  for (const auto& [drawn, lettering] : {std::pair{Box{0, 46, 159, 129}, Box{2, 48, 156, 128}},
                                         std::pair{Box{0, 130, 262, 161}, Box{4, 134, 246, 161}}})
    for (int y = drawn.y0; y <= drawn.y1; ++y)
      for (int x = drawn.x0; x <= drawn.x1; ++x)
        if (letters.indices[static_cast<std::size_t>(y * letters.width + x)] != 0) {
          EXPECT_TRUE(lettering.Holds(x, y)) << x << "," << y;
        }

  // Sprites: ship, shot, enemy, bullet, white flame, then the explosion
  // frames; cell (160, 0) stays empty.
  const BmpImage sheet = Committed("sprites.bmp");
  std::vector<Box> cells = {{1, 1, 29, 29}, {36, 1, 57, 30}, {64, 0, 95, 30}, {100, 1, 121, 30}, {132, 1, 153, 30}, {5, 36, 27, 58}};
  for (int f = 1; f < 6; ++f) cells.push_back({32 * f, 32, 32 * f + 31, 63});
  ExpectFigures(sheet, cells, false);
  EXPECT_EQ(Ink(sheet, {160, 0, 191, 31}), 0);
  // The explosion grows, then burns out to a ring with a dark centre.
  int frame[6];
  for (int f = 0; f < 6; ++f) frame[f] = Ink(sheet, {32 * f, 32, 32 * f + 31, 63});
  EXPECT_TRUE(frame[0] < frame[1] && frame[1] < frame[2] && frame[2] > frame[3] && frame[3] > frame[5]);
  EXPECT_EQ(Ink(sheet, {3 * 32 + 14, 46, 3 * 32 + 17, 49}), 0);
}

TEST(Assets, IconIsTheShipInSixteenColours) {
  const BmpImage icon = Committed("icon.bmp"), sheet = Committed("sprites.bmp");
  for (std::uint8_t index : icon.indices) EXPECT_LT(index, 16);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      EXPECT_EQ(icon.pixels[static_cast<std::size_t>(y * 32 + x)], sheet.pixels[static_cast<std::size_t>(y * 192 + x)]) << x << "," << y;
  const Surface s = WindowIcon();
  EXPECT_EQ(s.Width() * 100 + s.Height(), 3232);
  const Bytes png = ReadBytes(kAssets / "icon.png");
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

TEST(Assets, SoundIsAShortExplosion) {
  const auto wave = LoadWaveFile((kAssets / kSound).string());
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->channels, 1);
  EXPECT_EQ(wave->bitsPerSample, 16);
  const std::size_t n = wave->data.size() / 2;
  EXPECT_GE(static_cast<double>(n) / wave->sampleRate, 0.2);
  EXPECT_LE(static_cast<double>(n) / wave->sampleRate, 0.6);
  auto sample = [&wave](std::size_t i) { return static_cast<std::int16_t>(wave->data[2 * i] | (wave->data[2 * i + 1] << 8)); };
  auto energy = [&](std::size_t from, std::size_t to) {
    double e = 0;
    for (std::size_t i = from; i < to; ++i) e += std::abs(static_cast<double>(sample(i)));
    return e / static_cast<double>(to - from);
  };
  // Loud at once, fading away, silent at the end (no click), never clipped.
  EXPECT_GT(energy(0, n / 5), 3 * energy(3 * n / 5, 4 * n / 5));
  EXPECT_GT(energy(0, n / 5), 2000);
  EXPECT_LT(std::abs(sample(n - 1)), 200);
  for (std::size_t i = 0; i < n; ++i) ASSERT_LT(std::abs(static_cast<int>(sample(i))), 32767) << "clipped at " << i;
}

TEST(Assets, WindowImagesLoadWithExactBlackAndABadImageNamesItself) {
  SimWindow w;
  LoadWindowImages(w);
  const std::tuple<const Surface*, int, int> surfaces[] = {{&w.Titlebmp, 263, 229}, {&w.Res, 279, 167}, {&w.Chr, 192, 64}};
  for (const auto& [s, width, height] : surfaces) {
    EXPECT_EQ(s->Width() * 1000 + s->Height(), width * 1000 + height);
    EXPECT_EQ(s->Pixel(0, 0), 0u);
    EXPECT_EQ(s->Border(), 0);
  }
  const Colour nose = w.Chr.Pixel(15, 6), exhaust = w.Chr.Pixel(15, 28);  // blue cockpit, red exhaust
  EXPECT_GT((nose >> 16) & 0xFF, nose & 0xFF);
  EXPECT_GT(exhaust & 0xFF, (exhaust >> 16) & 0xFF);

  const Bytes bytes = ReadBytes(kAssets / "sprites.bmp");
  try {
    ImageSurface("sprite sheet", std::span(bytes).first(bytes.size() - 1), 192, 64);
    FAIL() << "accepted a truncated image";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("sprite sheet"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ImageSurface("logo", ReadBytes(kAssets / "logo.bmp"), 264, 229), std::runtime_error);
}

}  // namespace
}  // namespace zorva
