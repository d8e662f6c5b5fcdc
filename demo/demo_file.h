// The demo file: games as they were played, written as they go and read back
// with every byte treated as hostile.
//
// The format, record by record, is described in docs/demo-format.md; the
// reader below is its definition. The writer flushes the stream at least once
// for every second of game clock, so a file cut short still reads up to its
// last flush.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/demo_stream.h"
#include "rules/state.h"

namespace zorva {

inline constexpr char kDemoMagic[8] = {'Z', 'O', 'R', 'V', 'A', 'D', 'M', 'O'};
inline constexpr int kDemoFormat = 1;
// Larger files are refused at once: 64 MiB is days of play.
inline constexpr std::uint64_t kDemoMaxFileBytes = std::uint64_t{64} << 20;
inline constexpr const char* kDemoTooLarge = "the file is larger than 64 MiB, more than any demo";
// The records of a demo unpack to at most this much.
inline constexpr std::uint64_t kDemoMaxRecordBytes = std::uint64_t{1} << 30;
// A game's start clock stays within this distance of 0.
inline constexpr std::int64_t kDemoClockLimit = std::int64_t{1} << 62;
// Every clock reading of a game stays within this distance of its start clock
// (2^40 ms are 34 years), and no reading is earlier than the one before: so
// no difference of two readings comes near the limits of 64 bits.
inline constexpr std::int64_t kDemoClockSpan = std::int64_t{1} << 40;
// The most records (clock readings, key polls, event pumps) one frame holds,
// counting the waits after a game's last frame: the game itself makes a few
// dozen, and its longest waits, at the end of a game, read the clock at most
// once a millisecond for two seconds.
inline constexpr int kDemoMaxFrameRecords = 4096;
// The most readings a single repeat record holds.
inline constexpr std::uint64_t kDemoMaxRepeat = kDemoMaxFrameRecords;
// What a demo's size pays for: each frame takes at least 2 bytes of the file
// (its check, which no compressor shrinks, takes that alone) and each 64
// clock readings at least one, beyond a first allowance of each. This bounds
// the time any file can keep a playback busy.
inline constexpr std::uint64_t kDemoBytesPerFrame = 2;
inline constexpr std::uint64_t kDemoFreeFrames = 16384;
inline constexpr std::uint64_t kDemoReadingsPerByte = 64;
inline constexpr std::uint64_t kDemoFreeReadings = std::uint64_t{1} << 20;
// The most frames one record of checks covers.
inline constexpr int kDemoMaxChecks = 64;
// A reader that can go back keeps the compressed stream's state (about 40 KB
// each) at most this many times, spread over the records it has read.
inline constexpr std::size_t kDemoMostResumes = 128;
// A playback a viewer may take back keeps them every 256 KiB of records (some
// ten thousand frames) at first.
inline constexpr std::uint64_t kDemoResumeEvery = 256 * 1024;

// A file that is not a demo this program can read; the message says why.
struct DemoError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A file that ends before its last game does: as a recording cut short by a
// crash or a full disk leaves it.
struct DemoCut : DemoError {
  using DemoError::DemoError;
};

// Everything a game's course depends on, as it was when the game started.
struct GameStart {
  std::int64_t firstPass = 0;  // pass number of the game's first frame
  std::int64_t clock = 0;      // the clock when the game started
  std::uint64_t seed = 0;
  std::uint64_t rnd = 0;  // the random sequence's state
  bool wait = true;       // the WAIT check mark
  GameState state;        // every variable but the program's folder
};

// How a game ended.
struct Trailer {
  std::int64_t frames = 0;
  std::int32_t score = 0;
  std::uint64_t canvas = 0;  // CanvasHash of the last frame shown
};

// "score S, F frames, last canvas HHHHHHHHHHHHHHHH".
std::string DescribeEnd(const Trailer& trailer);

// A 16-bit check of the game's variables, the random state and the WAIT mark.
std::uint16_t StateCheck(const GameState& state, std::uint64_t rnd, bool wait);

// The clock readings of a game as the file holds them: each one is its change
// from the one before (the first, from the game's start clock), and a run of
// readings that change alike, of the same kind (the busy wait's or not), is
// one record of repeats. The writer and the reader keep it alike.
struct ReadingRun {
  std::int64_t last = 0;      // the latest reading, or the game's start clock
  std::int64_t change = 0;    // its change from the one before
  bool waiting = false;       // whether it was a reading of the busy wait
  bool any = false;           // whether the game has had a reading yet
  std::uint64_t repeats = 0;  // readings like it that are still to be written, or handed out

  void Start(std::int64_t clock) { *this = ReadingRun{clock}; }
  // Whether `reading` repeats the latest one's change and kind.
  bool Repeats(std::int64_t reading, bool wait) const { return any && reading - last == change && wait == waiting; }
  void Take(std::int64_t reading, bool wait) {
    change = reading - last;
    last = reading;
    waiting = wait;
    any = true;
  }
};

// Where a writer puts a demo's bytes as it writes them: a file, or memory.
class DemoOutput {
 public:
  virtual ~DemoOutput() = default;
  // Whether bytes still go somewhere: not once the demo has ended or failed.
  virtual bool Open() const = 0;
  // Each of these throws DemoError once the bytes cannot be written; the
  // output takes nothing more then.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Hands everything written so far to the system.
  virtual void Flush() = 0;
  // Everything written so far holds a whole game.
  virtual void GameWritten() = 0;
  // Ends the demo; later calls do nothing.
  virtual void Close() = 0;
};

// A demo kept in memory, as the page keeps its runs: `bytes` holds the file
// as far as it has been written (made empty first), and cannot fail.
class MemoryOutput final : public DemoOutput {
 public:
  explicit MemoryOutput(std::vector<std::uint8_t>& bytes) : bytes_(bytes) { bytes_.clear(); }
  bool Open() const override { return open_; }
  void Write(std::span<const std::uint8_t> bytes) override { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  void Flush() override {}
  void GameWritten() override {}
  void Close() override { open_ = false; }

 private:
  std::vector<std::uint8_t>& bytes_;
  bool open_ = true;
};

// Writes a demo to a new file beside `path`, which takes the place of `path`
// once it holds a whole game: until then (and for ever if no game ends, or
// the file cannot be written) `path` stays as it was. Or to another output.
class DemoWriter {
 public:
  // Creates the file and writes its header. Throws DemoError, also when
  // `path` names something other than a regular file.
  explicit DemoWriter(const std::string& path);
  explicit DemoWriter(std::unique_ptr<DemoOutput> output);
  ~DemoWriter();
  DemoWriter(const DemoWriter&) = delete;
  DemoWriter& operator=(const DemoWriter&) = delete;

  void StartGame(const GameStart& start);
  void Clock(std::int64_t reading, bool waiting);
  void Key(std::int16_t answer);
  void Pump(bool waitMark);
  void Close(bool waitMark, std::int64_t clock);
  void FrameEnd(std::uint16_t check);
  // Ends the game and hands the file to the system under its name. Throws
  // DemoError as every call here may, once the file cannot be written; the
  // writer then writes nothing more.
  void EndGame(const Trailer& trailer);
  // Hands everything so far to the file.
  void Flush();
  // Ends the stream and closes the file; later calls do nothing.
  void Finish();

 private:
  void PutHeader();
  void Put(std::uint8_t b) { raw_.push_back(b); }
  void PutVarint(std::uint64_t v);
  void PutSigned(std::int64_t v);
  void PutFixed(std::uint64_t v, int bytes);
  void PutRepeats();
  void PutChecks();
  void FlushAt(std::int64_t reading);
  void Pack(Packer::Flush flush);

  std::unique_ptr<Packer> packer_;  // made first: without one no file is created
  std::unique_ptr<DemoOutput> out_;
  std::vector<std::uint8_t> raw_;
  ReadingRun run_;
  std::array<std::uint16_t, kDemoMaxChecks> checks_{};
  int pendingChecks_ = 0;  // not yet written
  std::int64_t nextFlush_ = 0;
};

// Where a reader takes a demo's bytes from: a file, or memory.
class DemoSource {
 public:
  virtual ~DemoSource() = default;
  // Up to `n` bytes from where the source stands, into `to`: fewer only at
  // its end (0 there).
  virtual std::size_t Read(std::uint8_t* to, std::size_t n) = 0;
  // Stands at byte `at` from the start; false when it cannot.
  virtual bool Seek(std::uint64_t at) = 0;
};

// A demo file's bytes in memory, which must outlive the source.
class MemorySource final : public DemoSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::uint8_t* to, std::size_t n) override;
  bool Seek(std::uint64_t at) override;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

class DemoReader {
 public:
  enum class Kind { GameStart, Clock, Wait, Key, Pump, FrameEnd, Checks, GameEnd, End };
  struct Event {
    Kind kind = Kind::End;
    std::int64_t value = 0;  // reading, key answer, or the number of checks
    bool waitMark = false;   // Pump
    bool closed = false;     // Pump: the window was closed; value is the clock
  };

  // Where the reader stands between two records, with what it knows there:
  // enough to read on from that record as if it had read the file up to it.
  // A few hundred bytes (the game's start is shared).
  struct Mark {
    std::uint64_t records = 0;  // bytes of records read before it
    int place = 0;
    std::shared_ptr<const GameStart> start;
    Trailer trailer;
    std::array<std::uint16_t, kDemoMaxChecks> checks{};
    int unchecked = 0;
    ReadingRun run;
    int frameRecords = 0;
    std::uint64_t frames = 0, readings = 0;
  };

  // Reads from `in`; checks the header at once. Throws DemoError. With
  // `resumeEvery`, the reader can go back (Return): it keeps the compressed
  // stream's state about every so many bytes of records, at most
  // kDemoMostResumes times (twice as far apart each time they would be more),
  // and needs `in` to seek.
  explicit DemoReader(DemoSource& in, std::uint64_t resumeEvery = 0);
  explicit DemoReader(std::istream& in, std::uint64_t resumeEvery = 0);
  DemoReader(const DemoReader&) = delete;
  DemoReader& operator=(const DemoReader&) = delete;

  // The next record. Kind::End only after the last game, at the end of the
  // stream. Throws DemoError for anything else: a cut, damage, a value out
  // of range, a record out of place.
  Event Next();
  // The game that the last GameStart record began, and the trailer of the
  // last GameEnd.
  const GameStart& Start() const { return *start_; }
  const Trailer& LastTrailer() const { return trailer_; }
  // How many bytes of the unpacked records have been read: a game's own
  // records lie between the count before the Next that gives its GameStart
  // and the count after the one that gives its GameEnd.
  std::uint64_t RecordsRead() const { return recordBytes_ - raw_.size() + pos_; }
  // The checks of the last Checks record, the first `value` of them.
  const std::array<std::uint16_t, kDemoMaxChecks>& Checks() const { return checks_; }

  // Where the reader stands now, and back (or on) to a place it has been:
  // it unpacks again from the last point kept before it.
  Mark Here() const;
  void Return(const Mark& mark);
  // The bytes of the file behind the records read so far, in proportion
  // within the records unpacked last (the stream unpacks many at a time).
  double FilePosition() const;
  // The memory the points kept to go back take.
  std::uint64_t ResumeBytes() const;

 private:
  bool Fill();
  std::uint8_t Byte();
  std::uint64_t Varint();
  std::int64_t Signed();
  std::uint64_t Fixed(int bytes);
  std::int64_t Reading(std::int64_t change);
  // Counts one more record of the frame (and a reading), within its limits.
  void CountRecord(bool reading);
  // The packed bytes unpacked so far.
  std::uint64_t PackedBytes() const;
  // Each family of records, once its tag is read.
  Event EndOfRecords();
  Event GameStartRecord();
  Event ReadingRecord(std::uint8_t tag);
  Event RepeatRecord(std::uint8_t tag);
  // The next reading of a repeat: changed as much as the one before.
  Event Repeated();
  Event KeyRecord(std::uint8_t tag);
  Event PumpRecord(std::uint8_t tag);
  Event FrameEndRecord();
  Event ChecksRecord();
  Event GameEndRecord();
  // Keeps the stream's state here (before more of the file is fed) when the
  // last point kept lies far enough back.
  void KeepResume();
  [[noreturn]] void Fail(const std::string& why) const;

  DemoReader(std::unique_ptr<DemoSource> stream, std::uint64_t resumeEvery);

  std::unique_ptr<DemoSource> stream_;  // a stream read through, when the reader was given one
  std::unique_ptr<Unpacker> unpacker_;  // made first of the rest: without one no file is read
  DemoSource& in_;
  std::vector<std::uint8_t> packed_;
  std::vector<std::uint8_t> raw_;
  std::size_t pos_ = 0;
  std::uint64_t fileBytes_ = 0;
  std::uint64_t recordBytes_ = 0;
  bool streamEnd_ = false;
  std::uint64_t chunkFrom_ = 0, chunkTo_ = 0;  // the file bytes behind raw_

  // A point the reader can go back to: the stream as it stood after so many
  // bytes of the file, having unpacked so many bytes of records.
  struct Resume {
    std::shared_ptr<const Unpacker> unpacker;
    std::uint64_t fileBytes = 0, records = 0;
  };
  std::vector<Resume> resumes_;
  std::uint64_t resumeEvery_;  // bytes of records between two points kept

  enum class Place { Between, InGame, AfterClose, Done } place_ = Place::Between;
  std::shared_ptr<const GameStart> start_ = std::make_shared<GameStart>();
  Trailer trailer_;
  std::array<std::uint16_t, kDemoMaxChecks> checks_{};
  int unchecked_ = 0;  // frames ended since the last checks
  ReadingRun run_;
  int frameRecords_ = 0;  // since the last frame end or game start
  std::uint64_t frames_ = 0;
  std::uint64_t readings_ = 0;
};

}  // namespace zorva
