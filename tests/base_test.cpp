// The ground floor: the busy wait and the gate, block transfers, and the two
// readers of untrusted files.
#include <sys/stat.h>

#include <climits>
#include <vector>

#include "tests/support.h"

namespace zorva {
namespace {

TEST(Base, WaitReturnsAtTheFirstReadingMoreThanItsCountAfterItsStart) {
  // Start, count, the clock when Wait returns (each reading of the simulated clock is 1 ms later).
  const std::int64_t cases[][3] = {{1000, 0, 1001}, {1000, 30, 1031}, {1000, -5, 1001}, {(1LL << 31) - 10, 30, (1LL << 31) + 21}};
  for (const auto& [start, count, end] : cases) {
    SimMain m(start);
    Wait(count);
    EXPECT_VALUES(V(m.sim.Clock(), m.sim.PumpCount()), V(end, 0)) << start << " + " << count;  // and no event pump
  }
}

TEST(Base, AGateComparesWithItsLastIdlePollAndReadsTheClockBeforeOrAfterItsAction) {
  SimMain m(5000);
  std::int64_t next = 0, last = 0;
  // Two polls in one millisecond make no progress; a false further condition only records.
  const std::tuple<int, bool, bool> polls[] = {{5000, 1, 0}, {5001, 1, 1}, {5001, 1, 0}, {5101, 1, 0}, {5102, 1, 0}, {5102, 1, 1},
                                               {5300, 0, 0}};
  for (const auto& [t, condition, acts] : polls) {
    m.sim.SetClock(t);
    EXPECT_EQ(PollGate(next, last, 100, Rearm::BeforeAction, [] {}, condition), acts) << t;
  }
  EXPECT_VALUES(V(next, last), V(5202, 5300));
  for (const Rearm when : {Rearm::BeforeAction, Rearm::AfterAction}) {  // the action runs an event pump: +7 ms
    m.sim.SetWork(7), m.sim.SetClock(3000), next = 10, last = 20;
    std::int64_t seen = -1;
    EXPECT_TRUE(PollGate(next, last, 200, when, [&] { seen = next, DoEvents(); }));
    EXPECT_VALUES(V(next, seen, last), when == Rearm::BeforeAction ? V(3200, 3200, 20) : V(3207, 10, 20));
  }
}

// A w x h image whose pixels all differ, every seventh black.
Surface Pattern(int w, int h) {
  std::vector<Colour> px(static_cast<std::size_t>(w * h));
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = i % 7 == 3 ? 0 : static_cast<Colour>(0x5A3C96 ^ (i * 2654435761u)) & 0xFFFFFF;
  Surface s;
  s.SetImage(w, h, std::move(px));
  return s;
}

// The destination after a transfer, worked out pixel by pixel of the destination.
std::vector<Colour> Expected(const Surface& dst, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
                             const Surface& src, std::int64_t sx, std::int64_t sy, std::uint32_t rop) {
  std::vector<Colour> out = dst.Pixels();
  for (std::int64_t dy = 0; dy < dst.Height(); ++dy)
    for (std::int64_t dx = 0; dx < dst.Width(); ++dx) {
      const std::int64_t i = dx - x, j = dy - y, px = sx + i, py = sy + j;
      if (i < 0 || j < 0 || i >= w || j >= h || px < 0 || py < 0 || px >= src.Width() || py >= src.Height()) continue;
      Colour& d = out[static_cast<std::size_t>(dy * dst.Width() + dx)];
      d = (rop == SRCPAINT ? d : 0) | src.Pixel(static_cast<int>(px), static_cast<int>(py));
    }
  return out;
}

TEST(Base, BitBltCopiesOrOrsTheRectangleClippedToBothSurfaces) {
  // x, y, width, height, source x, source y; the last four move within one surface.
  const int cases[][6] = {{100, 90, 40, 30, 0, 0}, {10, 20, 13, 9, 5, 7}, {-17, 50, 40, 30, 0, 0}, {300, 50, 40, 30, 0, 0},
                          {50, -11, 40, 30, 0, 0}, {50, 305, 40, 30, 0, 0}, {-5, -5, 400, 400, 0, 0}, {60, 60, 40, 30, -9, -12},
                          {60, 60, 40, 30, 25, 20}, {10, 10, -40, 30, 0, 0}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
                          {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {INT_MAX, 10, INT_MAX, 30, 0, 0}, {10, 10, 40, 30, 40, 30},
                          {101, 100, 60, 50, 100, 100}, {100, 101, 60, 50, 100, 100}, {95, 97, 60, 50, 100, 100}, {0, 1, 320, 320, 0, 0}};
  for (const std::uint32_t rop : {SRCCOPY, SRCPAINT})
    for (std::size_t k = 0; k < std::size(cases); ++k) {
      const auto& [x, y, w, h, sx, sy] = cases[k];
      Surface dst = Pattern(320, 320), src = k < 14 ? Pattern(40, 30) : dst;
      const std::vector<Colour> want = Expected(dst, x, y, w, h, src, sx, sy, rop);
      EXPECT_EQ(BitBlt(dst, x, y, w, h, k < 14 ? src : dst, sx, sy, rop), 1);
      EXPECT_EQ(dst.Pixels(), want) << "case " << k << (rop == SRCCOPY ? " copy" : " paint");
    }
  Surface d(324, 324, 2);  // any other raster operation is refused and draws nothing
  EXPECT_EQ(BitBlt(d, 0, 0, 40, 30, Pattern(40, 30), 0, 0, 0x00CC0021), 0);
  EXPECT_EQ(std::count(d.Pixels().begin(), d.Pixels().end(), 0u), 320 * 320);
}

void Put(Bytes& b, std::size_t at, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 5 x 3 bitmap whose pixel (x, y) is palette entry 10y + x + 1; entry i is the colour (i, 2i, 3i).
Bytes SmallBmp() {
  Bytes b(kBmpPixelOffset + 8 * 3, 0);
  b[0] = 'B', b[1] = 'M', Put(b, 2, static_cast<std::uint32_t>(b.size()), 4), Put(b, 10, kBmpPixelOffset, 4), Put(b, 14, 40, 4);
  Put(b, 18, 5, 4), Put(b, 22, 3, 4), Put(b, 26, 1, 2), Put(b, 28, 8, 2), Put(b, 34, 24, 4), Put(b, 46, 256, 4);
  for (std::uint32_t i = 0; i < 256; ++i) Put(b, 54 + 4 * i, (3 * i & 0xFF) | (2 * i & 0xFF) << 8 | i << 16, 4);
  for (std::size_t y = 0; y < 3; ++y)
    for (std::size_t x = 0; x < 5; ++x) b[kBmpPixelOffset + (2 - y) * 8 + x] = static_cast<std::uint8_t>(10 * y + x + 1);
  return b;
}

TEST(Base, TheBitmapReaderReadsRowsBottomUpThroughThePaletteAndRefusesEveryOtherLayout) {
  const BmpResult r = ReadBmp(SmallBmp(), 5, 3);
  ASSERT_TRUE(r) << r.error;
  for (int y = 0; y < 3; ++y)
    for (int x = 0, i = 10 * y + 1; x < 5; ++x, ++i)
      EXPECT_VALUES(V(r.image.indices[y * 5 + x], r.image.pixels[y * 5 + x]), V(i, RGB(i, 2 * i, 3 * i)));
  // Offset, value, bytes (0: the last byte dropped, 9: one added, the size field agreeing); the size asked for.
  const struct { std::size_t at; std::uint32_t value; int bytes, width = 5, height = 3; } bad[] = {
      {0, 0, 0}, {0, 0, 9}, {1, 'A', 1}, {2, 1101, 4}, {7, 1, 1}, {10, 1074, 4}, {14, 108, 4}, {18, 0, 4}, {18, 0xFFFFFFFB, 4},
      {18, 9, 4}, {22, 0xFFFFFFFD, 4}, {22, 4, 4}, {26, 2, 2}, {28, 4, 2}, {30, 1, 4}, {34, 15, 4}, {46, 16, 4}, {50, 300, 4},
      {54 + 4 * 200 + 3, 7, 1}, {kBmpPixelOffset + 8 + 6, 1, 1}, {0, 'B', 1, 6, 3}, {0, 'B', 1, 5, 2}};
  for (const auto& c : bad) {
    Bytes b = SmallBmp();
    c.bytes == 0 ? b.pop_back() : c.bytes == 9 ? b.push_back(0) : Put(b, c.at, c.value, c.bytes);
    if (c.bytes % 9 == 0) Put(b, 2, static_cast<std::uint32_t>(b.size()), 4);
    EXPECT_FALSE(ReadBmp(b, c.width, c.height)) << c.at << " = " << c.value;
  }
}

// A RIFF file of chunks, each a tag, its declared size and its body.
Bytes Riff(std::vector<std::tuple<const char*, std::uint32_t, Bytes>> chunks, const char* form = "WAVE") {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, std::uint8_t(form[0]), std::uint8_t(form[1]), std::uint8_t(form[2]), std::uint8_t(form[3])};
  for (const auto& [tag, size, body] : chunks) {
    b.insert(b.end(), tag, tag + 4), b.resize(b.size() + 4), Put(b, b.size() - 4, size, 4);
    b.insert(b.end(), body.begin(), body.end());
  }
  Put(b, 4, static_cast<std::uint32_t>(b.size() - 8), 4);
  return b;
}
Bytes Fmt(std::uint32_t format, std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, std::size_t size = 16) {
  Bytes f(std::max<std::size_t>(size, 16));
  Put(f, 0, format, 2), Put(f, 2, channels, 2), Put(f, 4, rate, 4), Put(f, 8, rate * channels * bits / 8, 4);
  Put(f, 12, channels * bits / 8, 2), Put(f, 14, bits, 2);
  return f.resize(size), f;
}
Bytes Samples(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(1 + 37 * i);
  return b;
}

TEST(Base, TheWaveReaderReadsEveryPlayableLayoutAndNothingElse) {
  const Bytes mono = Fmt(1, 1, 22050, 16), data = Samples(200);
  const auto with = [&](const Bytes& format, std::uint32_t size = 16) { return Riff({{"fmt ", size, format}, {"data", 200, data}}); };
  // The file; channels, rate, bits, sample bytes and the second of them (nothing: refused).
  const std::pair<Bytes, std::vector<double>> cases[] = {
      {with(mono), {1, 22050, 16, 200, 38}},
      {Riff({{"LIST", 5, Samples(6)}, {"fmt ", 16, mono}, {"data", 200, data}}), {1, 22050, 16, 200, 38}},  // padded odd chunk
      {Riff({{"fmt ", 16, Fmt(1, 2, 44100, 8)}, {"data", 64, Samples(64)}}), {2, 44100, 8, 64, 38}},
      {Riff({{"fmt ", 18, Fmt(1, 1, 22050, 16, 18)}, {"data", 10, Samples(10)}}), {1, 22050, 16, 10, 38}},
      {Riff({{"fmt ", 16, mono}, {"data", 201, Samples(201)}}), {1, 22050, 16, 200, 38}},       // whole samples only
      {Riff({{"fmt ", 16, mono}, {"data", 0xFFFFFFFF, Samples(51)}}), {1, 22050, 16, 50, 38}},  // cut to what is there
      {Riff({{"fmt ", 16, mono}, {"data", 200, data}}, "AVI "), {}}, {Riff({{"data", 200, data}, {"fmt ", 16, mono}}), {}},
      {Riff({{"junk", 0xFFFFFFFF, {}}, {"fmt ", 16, mono}, {"data", 200, data}}), {}}, {Riff({{"fmt ", 16, mono}}), {}},
      {Riff({{"fmt ", 16, mono}, {"data", 1, Samples(1)}}), {}}, {with(Fmt(1, 1, 22050, 16, 14), 14), {}}, {with(mono, 0xFFFFFFFF), {}},
      {with(Fmt(3, 1, 22050, 16)), {}}, {with(Fmt(1, 0, 22050, 16)), {}}, {with(Fmt(1, 3, 22050, 16)), {}},
      {with(Fmt(1, 1, 22050, 24)), {}}, {with(Fmt(1, 1, 999, 16)), {}}, {with(Fmt(1, 1, 384001, 16)), {}},
      {Riff({{"fmt ", 16, mono}, {"data", 200, data}, {"pad ", 16 << 20, Bytes(16 << 20)}}), {}},  // over 16 MiB
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const std::optional<Wave> w = ParseWave(cases[k].first);
    EXPECT_VALUES(w ? V(w->channels, w->sampleRate, w->bitsPerSample, w->data.size(), w->data[1]) : V(), cases[k].second) << "case " << k;
  }
  // Every prefix of a good file, in a buffer of its size: the cuts after 2..40 of its 40 sample bytes play their whole samples.
  const Bytes good = Riff({{"fmt ", 16, mono}, {"data", 40, Samples(40)}});
  for (std::size_t n = 0; n <= good.size(); ++n) {
    const auto w = ParseWave(Bytes(good.begin(), good.begin() + static_cast<long>(n)));
    EXPECT_EQ(w ? w->data.size() : 0, n >= 46 ? (n - 44) / 2 * 2 : 0) << n;
  }
  // From disk: only regular files that are playable, never a pipe or anything over 16 MiB.
  TempDir dir;
  const std::string file = WriteBytes(dir.path / "効果音 é.wav", good);
  WriteBytes(dir.path / "huge.wav", good), fs::resize_file(dir.path / "huge.wav", 100'000'000), WriteBytes(dir.path / "empty.wav", {});
  fs::create_directory(dir.path / "folder.wav");
  // The file opener says why it refuses a name, and never waits on a pipe.
  struct Case { const char* name; bool plays; const char* why; };
  std::vector<Case> files = {{"効果音 é.wav", true, ""},   {"huge.wav", false, ""}, {"empty.wav", false, ""},
                             {"folder.wav", false, "a directory"}, {"missing.wav", false, "No such file or directory"}};
#ifdef _WIN32
  const char* device = "NUL";
#else
  const char* device = "/dev/null";
  fs::create_symlink(file, dir.path / "link.wav");
  ASSERT_EQ(::mkfifo((dir.path / "pipe.wav").c_str(), 0600), 0);
  files.insert(files.end(), {{"link.wav", true, ""}, {"pipe.wav", false, "a FIFO"}});
#endif
  for (const Case& c : files) {
    const std::string path = (dir.path / c.name).string();
    std::string why;
    EXPECT_EQ(ReadOnlyFile::Open(path, why).IsOpen(), !*c.why) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
    EXPECT_EQ(OpenWaveFile(path).has_value(), c.plays) << c.name;
  }
  std::string why;
  EXPECT_FALSE(ReadOnlyFile::Open(device, why).IsOpen());
  EXPECT_EQ(why, "a device");
}

TEST(Base, ConvertingAWaveKeepsItsSoundAtAnyRate) {
  // 16-bit 0 and 16384 (0.5) at 1000 Hz; two channels of two 8-bit frames; 8 frames at 384 kHz.
  const Wave up{1, 1000, 16, {0, 0, 0, 0x40}}, stereo8{2, 2000, 8, {128, 0, 192, 255}}, down{1, 384000, 8, {128, 1, 2, 3, 192, 5, 6, 7}};
  const std::tuple<const Wave*, int, std::vector<float>> cases[] = {
      {&up, 4000, {0, 0.125f, 0.25f, 0.375f, 0.5f, 0.5f, 0.5f, 0.5f}},  // the last frame held
      {&up, 1000, {0, 0.5f}},
      {&stereo8, 4000, {0, 0.25f, 0.5f, 0.5f, -1, -0.00390625f, 0.9921875f, 0.9921875f}},
      {&down, 96000, {0, 0.5f}},
      {&down, 1000, {}},  // less than one frame
  };
  for (const auto& [w, rate, expected] : cases) EXPECT_EQ(ConvertWave(*w, rate), expected) << w->sampleRate << " to " << rate;
}

}  // namespace
}  // namespace zorva
