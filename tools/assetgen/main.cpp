// zorva-assetgen OUTDIR [--previews DIR]
// Writes every asset of the game into OUTDIR, byte for byte as committed,
// and with --previews also enlarged PNG pictures of them for review.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <string>

#include "art.h"
#include "tools/art_sources.h"

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string_view Text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The picture enlarged by a whole factor, each pixel a sharp square; with
// `transparent`, colour 0 is see-through (the desktop icons), otherwise the
// picture is opaque (the previews).
std::vector<std::uint8_t> Png(const art::Picture& pic, int factor, bool transparent) {
  std::vector<bool> opaque(pic.Pixels().size() * factor * factor, true);
  if (transparent)
    for (std::size_t i = 0; i < opaque.size(); ++i) {
      const int x = static_cast<int>(i % static_cast<std::size_t>(pic.Width() * factor)) / factor;
      const int y = static_cast<int>(i / static_cast<std::size_t>(pic.Width() * factor)) / factor;
      opaque[i] = pic.Pixels()[static_cast<std::size_t>(y * pic.Width() + x)] != 0;
    }
  return art::EncodePng(pic.Width() * factor, pic.Height() * factor,
                        art::Enlarge(art::ToRgb(pic), pic.Width(), pic.Height(), factor), opaque);
}

// A Windows icon file holding PNG pictures (one per size, each square and at
// most 256 pixels across), as Windows reads them since Vista.
std::vector<std::uint8_t> Ico(const std::vector<std::pair<int, std::vector<std::uint8_t>>>& sizes) {
  std::vector<std::uint8_t> ico;
  const auto put = [&ico](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) ico.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put(0, 2), put(1, 2), put(static_cast<std::uint32_t>(sizes.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
  for (const auto& [side, png] : sizes) {
    put(side % 256, 1), put(side % 256, 1), put(0, 1), put(0, 1);  // 256 is written 0
    put(1, 2), put(32, 2), put(static_cast<std::uint32_t>(png.size()), 4), put(offset, 4);
    offset += static_cast<std::uint32_t>(png.size());
  }
  for (const auto& [side, png] : sizes) ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path out, previews;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--previews" && i + 1 < argc) previews = argv[++i];
    else if (out.empty() && arg[0] != '-') out = arg;
    else out.clear(), i = argc;
  }
  if (out.empty()) {
    std::cerr << "usage: zorva-assetgen OUTDIR [--previews DIR]\n";
    return 2;
  }
  try {
    const auto letters = art::ParseLetters(Text(zorva::art_sources::LettersText()));
    const auto sprites = art::ParseGrids(Text(zorva::art_sources::SpritesText()));
    const art::Picture logo = art::MakeLogo(letters);
    const art::Picture lettering = art::MakeLettering(letters);
    const art::Picture sheet = art::MakeSpriteSheet(sprites);
    const art::Picture icon = art::MakeIcon(sprites);
    if (icon.PaletteSize() > 16) throw std::runtime_error("the icon has more than 16 colours");

    std::filesystem::create_directories(out);
    Write(out / "logo.bmp", art::EncodeBmp(logo));
    Write(out / "lettering.bmp", art::EncodeBmp(lettering));
    Write(out / "sprites.bmp", art::EncodeBmp(sheet));
    Write(out / "icon.bmp", art::EncodeBmp(icon));
    Write(out / "icon.png", Png(icon, 1, true));
    // The desktop's larger icon sizes: the same 32 x 32 art, pixels kept sharp.
    Write(out / "icon-128.png", Png(icon, 4, true));
    Write(out / "icon-256.png", Png(icon, 8, true));
    // The web page's icons, for a phone's home screen.
    Write(out / "icon-192.png", Png(icon, 6, true));
    Write(out / "icon-512.png", Png(icon, 16, true));
    // The Windows program's icon: the same sizes in one file.
    Write(out / "icon.ico", Ico({{32, Png(icon, 1, true)},
                                 {64, Png(icon, 2, true)},
                                 {128, Png(icon, 4, true)},
                                 {256, Png(icon, 8, true)}}));
    Write(out / u8"効果音.wav", art::EncodeWav16(22050, art::MakeExplosion(22050)));

    if (!previews.empty()) {
      std::filesystem::create_directories(previews);
      Write(previews / "logo-x4.png", Png(logo, 4, false));
      Write(previews / "lettering-x4.png", Png(lettering, 4, false));
      Write(previews / "sprites-x4.png", Png(sheet, 4, false));
      Write(previews / "icon-x4.png", Png(icon, 4, false));
    }
    std::printf("logo %d colours, lettering %d, sprites %d, icon %d\n", logo.PaletteSize(), lettering.PaletteSize(),
                sheet.PaletteSize(), icon.PaletteSize());
  } catch (const std::exception& e) {
    std::cerr << "zorva-assetgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
