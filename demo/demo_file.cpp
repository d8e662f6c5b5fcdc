#include "demo/demo_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <istream>
#include <limits>
#include <random>
#include <type_traits>

#include "base/files.h"
#include "base/fnv.h"

namespace zorva {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::size_t kHeaderBytes = 10;
// What one point to go back to holds: a decompressor's state and its window.
constexpr std::uint64_t kDemoResumeBytes = 40 * 1024;

// Record tags.
constexpr std::uint8_t kTagWaitBit = 0x40;
constexpr std::uint8_t kTagRepeat = 0x80;
constexpr std::uint8_t kTagKey = 0xC0;
constexpr std::uint8_t kTagKeyRaw = 0xC4;
constexpr std::uint8_t kTagPump = 0xC8;
constexpr std::uint8_t kPumpMark = 1, kPumpClosed = 2;
constexpr std::uint8_t kTagFrameEnd = 0xD0;
constexpr std::uint8_t kTagChecks = 0xD8;
constexpr std::uint8_t kTagGameEnd = 0xE0;
constexpr std::uint8_t kTagGameStart = 0xF0;
constexpr std::uint8_t kSmallMax = 62, kEscape = 63;

// The key answers with a short record of their own, in the order of their tags.
constexpr std::uint16_t kKeyAnswers[4] = {0x0000, 0x0001, 0x8000, 0x8001};

static_assert(kClockRange == static_cast<double>(kDemoClockLimit));

// Every slot of every variable of the game (the table of rules/state.h), in
// the order of the file, with the range the game keeps it in.
template <class State, class Visit>
void EachValue(State& g, Visit&& v) {
  EachVariable(g, [&v](const Variable& var, auto& member) {
    EachSlot(member, [&](auto& x) { v(var.name, x, var.lowest, var.highest); });
  });
}

// The bits of a variable as the file holds them, and back (with the compiler's
// own bit cast: the C++ library of the WebAssembly build has no std::bit_cast).
template <class T>
std::uint64_t Bits(T v) {
  if constexpr (std::is_same_v<T, float>) return __builtin_bit_cast(std::uint32_t, v);
  else if constexpr (std::is_same_v<T, double>) return __builtin_bit_cast(std::uint64_t, v);
  else return static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(v));
}

template <class T>
T FromBits(std::uint64_t b) {
  if constexpr (std::is_same_v<T, float>) return __builtin_bit_cast(float, static_cast<std::uint32_t>(b));
  else if constexpr (std::is_same_v<T, double>) return __builtin_bit_cast(double, b);
  else return static_cast<T>(static_cast<std::make_unsigned_t<T>>(b));
}

template <class Each>
void EachByte(std::uint64_t v, int bytes, Each each) {
  for (int i = 0; i < bytes; ++i) each(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t Zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}

std::int64_t Unzigzag(std::uint64_t u) { return static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1); }

}  // namespace

std::string DescribeEnd(const Trailer& t) {
  char hash[24];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(t.canvas));
  return "score " + std::to_string(t.score) + ", " + std::to_string(t.frames) + " frames, last canvas " + hash;
}

std::uint16_t StateCheck(const GameState& state, std::uint64_t rnd, bool wait) {
  Fnv1a fnv;
  const auto add = [&fnv](std::uint8_t b) { fnv.Add(b); };
  EachValue(state, [&](const char*, const auto& x, double, double) { EachByte(Bits(x), sizeof x, add); });
  EachByte(rnd, 8, add);
  add(wait ? 1 : 0);
  const std::uint64_t h = fnv.value;
  return static_cast<std::uint16_t>(h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48));
}

// The writer.

namespace {

// A demo written to a file of its own beside its target, which takes the
// target's place once it holds a whole game.
class FileOutput final : public DemoOutput {
 public:
  explicit FileOutput(const std::string& path) : path_(path) {
    if (const std::string what = NotAFile(path); !what.empty()) {
      throw DemoError("cannot record into " + PrintablePath(path) + ": " + what);
    }
    // A name of its own beside the target, on the same file system.
    // The names are UTF-8 on every system (a plain string would be read in the
    // system's code page on Windows).
    const std::filesystem::path target(std::u8string(path.begin(), path.end()));
    std::random_device random;
    for (int attempt = 0; file_ == nullptr && attempt < 16; ++attempt) {
      char suffix[24];
      std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
      const std::u8string name =
          u8"." + target.filename().u8string() + std::u8string(suffix, suffix + std::strlen(suffix));
      const std::u8string temporary = (target.parent_path() / name).u8string();
      temporary_.assign(temporary.begin(), temporary.end());
      file_ = CreateNewFile(temporary_);
      if (file_ == nullptr && errno != EEXIST) break;
    }
    if (file_ == nullptr) throw DemoError("cannot write " + PrintablePath(temporary_) + ": " + std::strerror(errno));
  }
  ~FileOutput() override {
    if (file_ == nullptr) return;
    std::fclose(file_);
    if (!renamed_) std::remove(temporary_.c_str());
  }

  bool Open() const override { return file_ != nullptr; }
  void Write(std::span<const std::uint8_t> bytes) override {
    if (file_ != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Failed();
  }
  void Flush() override {
    if (file_ != nullptr && std::fflush(file_) != 0) Failed();
  }
  void GameWritten() override {
    if (renamed_ || file_ == nullptr) return;
    std::string why;
    if (!RenameOver(temporary_, path_, why)) Failed(why);
    renamed_ = true;
  }
  void Close() override {
    if (file_ == nullptr) return;
    if (std::fflush(file_) != 0) Failed();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) Failed();
    // Without a whole game the target keeps what it had.
    if (!renamed_) std::remove(temporary_.c_str());
  }

 private:
  // Closes and removes what is not yet a demo, and throws: with errno's
  // reason, or with `why`.
  [[noreturn]] void Failed() { Failed(std::strerror(errno)); }
  [[noreturn]] void Failed(const std::string& why) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!renamed_) std::remove(temporary_.c_str());
    throw DemoError("cannot write the demo " + PrintablePath(path_) + ": " + why);
  }

  std::string path_;
  std::string temporary_;  // the file written until it is renamed to path_
  bool renamed_ = false;
  std::FILE* file_ = nullptr;
};

// A stream read as a demo's source.
class StreamSource final : public DemoSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in) {}
  std::size_t Read(std::uint8_t* to, std::size_t n) override {
    in_.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in_.gcount());
  }
  bool Seek(std::uint64_t at) override {
    in_.clear();
    return static_cast<bool>(in_.seekg(static_cast<std::streamoff>(at)));
  }

 private:
  std::istream& in_;
};

}  // namespace

DemoWriter::DemoWriter(const std::string& path) : packer_(OpenPacker()), out_(std::make_unique<FileOutput>(path)) {
  PutHeader();
}

DemoWriter::DemoWriter(std::unique_ptr<DemoOutput> output) : packer_(OpenPacker()), out_(std::move(output)) {
  PutHeader();
}

void DemoWriter::PutHeader() {
  raw_.reserve(kBufferBytes);
  std::uint8_t header[kHeaderBytes];
  std::memcpy(header, kDemoMagic, sizeof kDemoMagic);
  header[8] = static_cast<std::uint8_t>(kDemoFormat & 0xFF);
  header[9] = static_cast<std::uint8_t>(kDemoFormat >> 8);
  out_->Write(header);
}

DemoWriter::~DemoWriter() {
  try {
    Finish();
  } catch (const DemoError&) {
    // Nothing more can be done about a file that cannot be written.
  }
}

void DemoWriter::PutVarint(std::uint64_t v) {
  while (v >= 0x80) {
    Put(static_cast<std::uint8_t>(v | 0x80));
    v >>= 7;
  }
  Put(static_cast<std::uint8_t>(v));
}

void DemoWriter::PutSigned(std::int64_t v) { PutVarint(Zigzag(v)); }

void DemoWriter::PutFixed(std::uint64_t v, int bytes) {
  EachByte(v, bytes, [this](std::uint8_t b) { Put(b); });
}

void DemoWriter::PutRepeats() {
  if (run_.repeats == 0) return;
  if (run_.repeats <= kSmallMax) {
    Put(static_cast<std::uint8_t>(kTagRepeat | run_.repeats));
  } else {
    Put(kTagRepeat | kEscape);
    PutVarint(run_.repeats);
  }
  run_.repeats = 0;
}

void DemoWriter::StartGame(const GameStart& s) {
  PutRepeats();
  Put(kTagGameStart);
  PutVarint(static_cast<std::uint64_t>(s.firstPass));
  PutSigned(s.clock);
  PutFixed(s.seed, 8);
  PutFixed(s.rnd, 8);
  Put(s.wait ? 1 : 0);
  EachValue(s.state, [this](const char*, const auto& x, double, double) { PutFixed(Bits(x), sizeof x); });
  run_.Start(s.clock);
  nextFlush_ = s.clock + 1000;
  Flush();
}

void DemoWriter::Clock(std::int64_t reading, bool waiting) {
  if (run_.Repeats(reading, waiting) && run_.repeats < kDemoMaxRepeat) {
    // The busy wait reads the same millisecond, or one more each time, over and over.
    ++run_.repeats;
    run_.last = reading;
    if (reading >= nextFlush_) FlushAt(reading);
    return;
  }
  PutRepeats();
  const std::int64_t change = reading - run_.last;
  const std::uint8_t kind = waiting ? kTagWaitBit : 0;
  if (change >= 0 && change <= kSmallMax) {
    Put(static_cast<std::uint8_t>(kind | change));
  } else {
    Put(kind | kEscape);
    PutSigned(change);
  }
  run_.Take(reading, waiting);
  if (reading >= nextFlush_) {
    FlushAt(reading);
  } else if (raw_.size() >= kBufferBytes) {
    Pack(Packer::Flush::None);
  }
}

void DemoWriter::FlushAt(std::int64_t reading) {
  Flush();
  nextFlush_ = reading + 1000;
}

void DemoWriter::Key(std::int16_t answer) {
  PutRepeats();
  const auto bits = static_cast<std::uint16_t>(answer);
  for (std::uint8_t i = 0; i < 4; ++i) {
    if (kKeyAnswers[i] == bits) {
      Put(kTagKey | i);
      return;
    }
  }
  Put(kTagKeyRaw);
  PutFixed(bits, 2);
}

void DemoWriter::Pump(bool waitMark) {
  PutRepeats();
  Put(kTagPump | (waitMark ? kPumpMark : 0));
}

void DemoWriter::Close(bool waitMark, std::int64_t clock) {
  PutChecks();
  Put(kTagPump | kPumpClosed | (waitMark ? kPumpMark : 0));
  PutSigned(clock - run_.last);
}

void DemoWriter::FrameEnd(std::uint16_t check) {
  PutRepeats();
  Put(kTagFrameEnd);
  checks_[static_cast<std::size_t>(pendingChecks_++)] = check;
  if (pendingChecks_ == kDemoMaxChecks) PutChecks();
}

void DemoWriter::PutChecks() {
  PutRepeats();
  if (pendingChecks_ == 0) return;
  Put(kTagChecks);
  Put(static_cast<std::uint8_t>(pendingChecks_));
  for (int i = 0; i < pendingChecks_; ++i) PutFixed(checks_[static_cast<std::size_t>(i)], 2);
  pendingChecks_ = 0;
}

void DemoWriter::EndGame(const Trailer& t) {
  PutChecks();
  Put(kTagGameEnd);
  PutVarint(static_cast<std::uint64_t>(t.frames));
  PutSigned(t.score);
  PutFixed(t.canvas, 8);
  Flush();
  out_->GameWritten();
}

void DemoWriter::Pack(Packer::Flush flush) {
  if (!out_->Open()) return;
  packer_->Pack(raw_, flush, [this](std::span<const std::uint8_t> packed) { out_->Write(packed); });
  raw_.clear();
}

void DemoWriter::Flush() {
  if (!out_->Open()) return;
  PutChecks();
  Pack(Packer::Flush::Sync);
  out_->Flush();
}

void DemoWriter::Finish() {
  if (!out_->Open()) return;
  PutChecks();
  Pack(Packer::Flush::Finish);
  out_->Close();
}

// The reader.

std::size_t MemorySource::Read(std::uint8_t* to, std::size_t n) {
  const std::size_t count = std::min(n, bytes_.size() - at_);
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), count, to);
  at_ += count;
  return count;
}

bool MemorySource::Seek(std::uint64_t at) {
  if (at > bytes_.size()) return false;
  at_ = static_cast<std::size_t>(at);
  return true;
}

DemoReader::DemoReader(std::istream& in, std::uint64_t resumeEvery)
    : DemoReader(std::make_unique<StreamSource>(in), resumeEvery) {}

DemoReader::DemoReader(std::unique_ptr<DemoSource> stream, std::uint64_t resumeEvery)
    : DemoReader(*stream, resumeEvery) {
  stream_ = std::move(stream);
}

DemoReader::DemoReader(DemoSource& in, std::uint64_t resumeEvery)
    : unpacker_(OpenUnpacker()), in_(in), packed_(kBufferBytes), raw_(kBufferBytes), resumeEvery_(resumeEvery) {
  std::uint8_t header[kHeaderBytes] = {};
  fileBytes_ = in_.Read(header, sizeof header);
  if (fileBytes_ < sizeof header || std::memcmp(header, kDemoMagic, sizeof kDemoMagic) != 0) {
    throw DemoError("not a ZORVA demo");
  }
  const int format = static_cast<std::uint8_t>(header[8]) | (static_cast<std::uint8_t>(header[9]) << 8);
  if (format != kDemoFormat) {
    throw DemoError("demo format " + std::to_string(format) + " is not known here (this program reads format " +
                    std::to_string(kDemoFormat) + ")");
  }
  raw_.resize(0);
  if (resumeEvery_ > 0) resumes_.push_back({unpacker_->Copy(), fileBytes_, 0});
}

void DemoReader::Fail(const std::string& why) const { throw DemoError(why); }

// Unpacks the next piece of the records into raw_. False at the end of the
// stream or of the file.
bool DemoReader::Fill() {
  pos_ = 0;
  raw_.resize(kBufferBytes);
  for (;;) {
    if (streamEnd_) {
      raw_.resize(0);
      return false;
    }
    if (unpacker_->Left() == 0) {
      KeepResume();
      // A reader that goes back reads the file in pieces no larger than the
      // records between two points it keeps, since it keeps them between pieces.
      const std::uint64_t piece =
          resumeEvery_ > 0 ? std::min<std::uint64_t>(packed_.size(), resumeEvery_) : packed_.size();
      const std::size_t n = in_.Read(packed_.data(), static_cast<std::size_t>(piece));
      fileBytes_ += n;
      if (unpacker_->FileBytes(fileBytes_) > kDemoMaxFileBytes) Fail(kDemoTooLarge);
      if (n == 0) {
        raw_.resize(0);
        return false;
      }
      unpacker_->Feed({packed_.data(), n});
    }
    chunkFrom_ = PackedBytes();
    const std::size_t n = unpacker_->Unpack(raw_, streamEnd_);
    chunkTo_ = PackedBytes();
    recordBytes_ += n;
    if (recordBytes_ > kDemoMaxRecordBytes) Fail("the demo unpacks to more than 1 GiB");
    if (n > 0) {
      raw_.resize(n);
      return true;
    }
  }
}

std::uint8_t DemoReader::Byte() {
  if (pos_ == raw_.size() && !Fill()) {
    if (streamEnd_) Fail("the demo ends in the middle of a game");
    throw DemoCut("the file ends early");
  }
  return raw_[pos_++];
}

std::uint64_t DemoReader::Varint() {
  std::uint64_t v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    const std::uint8_t b = Byte();
    if (shift == 63 && b > 1) break;
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return v;
  }
  Fail("the file is damaged (a number longer than 64 bits)");
}

std::int64_t DemoReader::Signed() { return Unzigzag(Varint()); }

std::uint64_t DemoReader::Fixed(int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(Byte()) << (8 * i);
  return v;
}

std::int64_t DemoReader::Reading(std::int64_t change) {
  // The previous reading is never earlier than the start nor further from it
  // than kDemoClockSpan, so none of this can overflow.
  if (change < 0) Fail("the file is damaged (a clock reading earlier than the one before)");
  if (change > kDemoClockSpan || run_.last - start_->clock > kDemoClockSpan - change) {
    Fail("the file is damaged (a clock reading out of range)");
  }
  return run_.last + change;
}

std::uint64_t DemoReader::PackedBytes() const { return unpacker_->FileBytes(fileBytes_ - unpacker_->Left()); }

void DemoReader::CountRecord(bool reading) {
  if (++frameRecords_ > kDemoMaxFrameRecords) Fail("the file is damaged (more records in a frame than the game makes)");
  if (reading && ++readings_ > PackedBytes() * kDemoReadingsPerByte + kDemoFreeReadings) {
    Fail("the file is damaged (more clock readings than a file of its size holds)");
  }
}

DemoReader::Event DemoReader::GameStartRecord() {
  if (place_ != Place::Between) Fail("the file is damaged (a game starts inside another)");
  GameStart s;
  const std::uint64_t pass = Varint();
  if (pass > static_cast<std::uint64_t>(kDemoClockLimit)) Fail("the file is damaged (a pass number out of range)");
  s.firstPass = static_cast<std::int64_t>(pass);
  s.clock = Signed();
  if (s.clock < -kDemoClockLimit || s.clock > kDemoClockLimit)
    Fail("the file is damaged (a clock reading out of range)");
  s.seed = Fixed(8);
  s.rnd = Fixed(8);
  const std::uint8_t wait = Byte();
  if (wait > 1) Fail("the file is damaged (a WAIT mark of " + std::to_string(wait) + ")");
  s.wait = wait == 1;
  EachValue(s.state, [this](const char* name, auto& x, double min, double max) {
    using T = std::remove_reference_t<decltype(x)>;
    x = FromBits<T>(Fixed(sizeof x));
    const auto d = static_cast<double>(x);
    if (!std::isfinite(d) || d < min || d > max) {
      char value[32];
      std::snprintf(value, sizeof value, "%.9g", d);
      Fail(std::string("the file is damaged (") + name + " " + value + " is out of range)");
    }
  });
  run_.Start(s.clock);
  start_ = std::make_shared<const GameStart>(std::move(s));
  unchecked_ = 0;
  frameRecords_ = 0;
  place_ = Place::InGame;
  return {Kind::GameStart};
}

DemoReader::Event DemoReader::ReadingRecord(std::uint8_t tag) {
  const std::uint8_t small = tag & kEscape;
  const std::int64_t change = small == kEscape ? Signed() : small;
  CountRecord(true);
  const std::int64_t reading = Reading(change);
  run_.Take(reading, (tag & kTagWaitBit) != 0);
  return {run_.waiting ? Kind::Wait : Kind::Clock, reading};
}

DemoReader::Event DemoReader::RepeatRecord(std::uint8_t tag) {
  std::uint64_t n = tag & kEscape;
  if (n == kEscape) n = Varint();
  if (n == 0 || n > kDemoMaxRepeat) Fail("the file is damaged (a repeat count out of range)");
  if (!run_.any) Fail("the file is damaged (a repeat before any reading)");
  run_.repeats = n - 1;
  return Repeated();
}

DemoReader::Event DemoReader::Repeated() {
  CountRecord(true);
  run_.last = Reading(run_.change);
  return {run_.waiting ? Kind::Wait : Kind::Clock, run_.last};
}

DemoReader::Event DemoReader::KeyRecord(std::uint8_t tag) {
  CountRecord(false);
  if (tag != kTagKeyRaw) return {Kind::Key, static_cast<std::int16_t>(kKeyAnswers[tag - kTagKey])};
  // A key poll only ever answers with the down bit and the pressed-since
  // bit: any other answer came from no window.
  const auto answer = static_cast<std::uint16_t>(Fixed(2));
  if (std::find(std::begin(kKeyAnswers), std::end(kKeyAnswers), answer) == std::end(kKeyAnswers)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", answer);
    Fail(std::string("the file is damaged (a key poll answered ") + hex + ", which no key gives)");
  }
  return {Kind::Key, static_cast<std::int16_t>(answer)};
}

DemoReader::Event DemoReader::PumpRecord(std::uint8_t tag) {
  CountRecord(false);
  Event e{Kind::Pump};
  e.waitMark = (tag & kPumpMark) != 0;
  e.closed = (tag & kPumpClosed) != 0;
  if (e.closed) {
    if (unchecked_ != 0) Fail("the file is damaged (frames without checks)");
    e.value = Reading(Signed());
    place_ = Place::AfterClose;
  }
  return e;
}

DemoReader::Event DemoReader::FrameEndRecord() {
  if (unchecked_ == kDemoMaxChecks) Fail("the file is damaged (frames without checks)");
  ++unchecked_;
  frameRecords_ = 0;
  if (++frames_ > PackedBytes() / kDemoBytesPerFrame + kDemoFreeFrames) {
    Fail("the file is damaged (more frames than a file of its size holds)");
  }
  return {Kind::FrameEnd};
}

DemoReader::Event DemoReader::ChecksRecord() {
  const int n = Byte();
  if (n == 0 || n != unchecked_) Fail("the file is damaged (checks of frames that did not end)");
  for (int i = 0; i < n; ++i) checks_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(Fixed(2));
  unchecked_ = 0;
  return {Kind::Checks, n};
}

DemoReader::Event DemoReader::GameEndRecord() {
  if (unchecked_ != 0) Fail("the file is damaged (frames without checks)");
  Trailer t;
  const std::uint64_t frames = Varint();
  const std::int64_t score = Signed();
  if (frames > static_cast<std::uint64_t>(kDemoClockLimit) || score < 0 ||
      score > std::numeric_limits<std::int32_t>::max()) {
    Fail("the file is damaged (a game's end out of range)");
  }
  t.frames = static_cast<std::int64_t>(frames);
  t.score = static_cast<std::int32_t>(score);
  t.canvas = Fixed(8);
  trailer_ = t;
  place_ = place_ == Place::AfterClose ? Place::Done : Place::Between;
  return {Kind::GameEnd};
}

// Going back.

void DemoReader::KeepResume() {
  if (resumes_.empty() || recordBytes_ < resumes_.back().records + resumeEvery_) return;
  resumes_.push_back({unpacker_->Copy(), fileBytes_, recordBytes_});
  if (resumes_.size() <= kDemoMostResumes) return;
  // Every other point goes, the first (the stream's start) stays.
  std::vector<Resume> kept;
  for (std::size_t i = 0; i < resumes_.size(); i += 2) kept.push_back(std::move(resumes_[i]));
  resumes_ = std::move(kept);
  resumeEvery_ *= 2;
}

double DemoReader::FilePosition() const {
  // Within the records unpacked last, in proportion to the file bytes they came from.
  const double within = raw_.empty() ? 1.0 : static_cast<double>(pos_) / static_cast<double>(raw_.size());
  return static_cast<double>(chunkFrom_) + within * static_cast<double>(chunkTo_ - chunkFrom_);
}

std::uint64_t DemoReader::ResumeBytes() const { return resumes_.size() * kDemoResumeBytes; }

DemoReader::Mark DemoReader::Here() const {
  return {recordBytes_ - (raw_.size() - pos_),
          static_cast<int>(place_),
          start_,
          trailer_,
          checks_,
          unchecked_,
          run_,
          frameRecords_,
          frames_,
          readings_};
}

void DemoReader::Return(const Mark& mark) {
  if (resumes_.empty()) Fail("the demo cannot be read again from an earlier place");
  const auto after = std::upper_bound(resumes_.begin(), resumes_.end(), mark.records,
                                      [](std::uint64_t records, const Resume& r) { return records < r.records; });
  const Resume& from = *std::prev(after);
  unpacker_ = from.unpacker->Copy();
  if (!in_.Seek(from.fileBytes)) Fail("the demo cannot be read again");
  fileBytes_ = from.fileBytes;
  recordBytes_ = from.records;
  streamEnd_ = false;
  raw_.resize(0);
  pos_ = 0;
  // The records between the point and the mark are read over, unparsed.
  for (std::uint64_t skip = mark.records - from.records; skip > 0;) {
    if (pos_ == raw_.size() && !Fill()) Fail("the demo is no longer what was read");
    const std::uint64_t n = std::min<std::uint64_t>(skip, raw_.size() - pos_);
    pos_ += static_cast<std::size_t>(n);
    skip -= n;
  }
  place_ = static_cast<Place>(mark.place);
  start_ = mark.start;
  trailer_ = mark.trailer;
  checks_ = mark.checks;
  unchecked_ = mark.unchecked;
  run_ = mark.run;
  frameRecords_ = mark.frameRecords;
  frames_ = mark.frames;
  readings_ = mark.readings;
}

// The records end only between games, at the end of the stream, and nothing
// may follow the stream in the file.
DemoReader::Event DemoReader::EndOfRecords() {
  if (!streamEnd_) throw DemoCut("the file ends early");
  std::uint8_t extra = 0;
  if (unpacker_->Left() > 0 || in_.Read(&extra, 1) > 0) Fail("the file is damaged (bytes after its end)");
  return {Kind::End};
}

DemoReader::Event DemoReader::Next() {
  if (run_.repeats > 0) {
    --run_.repeats;
    return Repeated();
  }
  if ((place_ == Place::Between || place_ == Place::Done) && pos_ == raw_.size() && !Fill()) return EndOfRecords();
  const std::uint8_t tag = Byte();
  if (place_ == Place::Done) Fail("the file is damaged (a record after the window was closed)");
  if (place_ == Place::Between && tag != kTagGameStart) Fail("the file is damaged (a record outside a game)");
  if (place_ == Place::AfterClose && tag != kTagGameEnd) Fail("the file is damaged (a record after the close)");

  if (tag == kTagGameStart) return GameStartRecord();
  if (tag < kTagRepeat) return ReadingRecord(tag);
  if (tag < kTagKey) return RepeatRecord(tag);
  if (tag <= kTagKeyRaw) return KeyRecord(tag);
  if ((tag & ~(kPumpMark | kPumpClosed)) == kTagPump) return PumpRecord(tag);
  if (tag == kTagFrameEnd) return FrameEndRecord();
  if (tag == kTagChecks) return ChecksRecord();
  if (tag == kTagGameEnd) return GameEndRecord();
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", tag);
  Fail(std::string("the file is damaged (an unknown record ") + hex + ")");
}

}  // namespace zorva
