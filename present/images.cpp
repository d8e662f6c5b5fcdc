#include "present/images.h"

#include <stdexcept>
#include <string>

#include "assets/embedded_assets.h"
#include "base/bmp.h"

namespace zorva {

Surface ImageSurface(const char* name, std::span<const std::uint8_t> bytes, int width, int height) {
  BmpResult read = ReadBmp(bytes, width, height);
  if (!read) throw std::runtime_error(std::string("bad image ") + name + ": " + read.error);
  Surface s;
  s.SetImage(read.image.width, read.image.height, std::move(read.image.pixels));
  return s;
}

void LoadWindowImages(Window& w) {
  w.Titlebmp = ImageSurface("logo", embedded::LogoBmp(), 263, 229);
  w.Res = ImageSurface("lettering", embedded::LetteringBmp(), 279, 167);
  w.Chr = ImageSurface("sprite sheet", embedded::SpriteSheetBmp(), 192, 64);
}

Surface WindowIcon() { return ImageSurface("icon", embedded::IconBmp(), 32, 32); }

}  // namespace zorva
