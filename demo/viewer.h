// Watching a demo as a viewer does: pause and resume, a frame back and on,
// the speed, seeks by the game's clock and to any frame, and the games
// skipped. The player plays the file straight as far as it has been read,
// and the viewer keeps snapshots of it as it goes (the player's state at the
// end of a frame and between games: a few kilobytes each); any frame is
// reached by putting back the last snapshot before it and playing on from
// there, silent and as fast as the machine goes. Within a game the canvas is
// repainted from the game's state and its starfield every frame, so the frame
// reached, its picture and its state are those of a straight playback.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "base/viewing.h"
#include "demo/demo.h"

namespace zorva {

class Viewer {
 public:
  // The snapshots are kept every `every` frames at first (and at the start
  // of every game), and thinned, twice as far apart each time, to stay within
  // `budget` bytes. `fileBytes`: the size of the demo file, for the progress
  // bar's estimate of its frames.
  explicit Viewer(std::uint64_t fileBytes, std::int64_t every = kDefaultEvery, std::uint64_t budget = kDefaultBudget);

  static constexpr std::int64_t kDefaultEvery = 256;
  static constexpr std::uint64_t kDefaultBudget = std::uint64_t{11} << 20;

  // What the viewer asks, carried out at the end of the frame being played.
  void Ask(ViewCommand command);
  // The progress bar: the first frame at `fraction` of the demo file or past
  // it (the bar is the file, which a viewer's seek reads on into).
  void SeekToFraction(double fraction);
  // Frame `frame` of the demo (from 1; beyond the last, the last).
  void SeekToFrame(std::int64_t frame);
  // Starts paused or playing, at a speed (kSpeedSixteenths' index).
  void SetPaused(bool paused) { paused_ = paused; }
  void SetSpeed(int speed);

  // While the playback stands on a frame (paused), called over and over until
  // something is asked: it serves the window and rests a little. Unset, a
  // paused playback goes on at once (as a test's does).
  std::function<void()> idle;
  // Told the frame each time the playback comes to stand on it, or lands on
  // it from a seek.
  std::function<void(std::int64_t frame)> onStanding;

  ViewStatus Status(const DemoPlayer& player) const;
  // The memory the snapshots take, and the frames between two of them now.
  std::uint64_t SnapshotBytes() const { return snapshots_.size() * sizeof(Kept); }
  std::int64_t SnapshotEvery() const { return every_; }

  // The player's hooks: before each game's start is read, at the end of each
  // frame, and at the end of the demo (true: the viewer takes the playback
  // back to a frame of it).
  void BetweenGames(DemoPlayer& player);
  void FrameEnds(DemoPlayer& player, bool endsGame);
  bool DemoEnds(DemoPlayer& player);

 private:
  // Where a seek goes: a frame, the first frame at or past a moment of the
  // demo's clock or a byte of the file, the first frame of a game, or the
  // demo's last frame.
  struct Target {
    enum class Kind { Frame, DemoClock, FileByte, GameStart, End } kind = Kind::Frame;
    std::int64_t value = 0;
  };
  struct Kept {
    std::int64_t frame = 0;      // the frame ended (between games: the last of the game before)
    std::int64_t demoClock = 0;  // the demo's clock there
    double fileByte = 0;         // and the place in the file
    int game = 0;                // the games started before the next frame's
    DemoPlayer::Snapshot snapshot;
  };

  // Carries out what was asked; true when the playback is to go on.
  void Serve(DemoPlayer& player);
  void Carry(DemoPlayer& player, ViewCommand command);
  void SeekTo(DemoPlayer& player, Target target);
  // Takes the playback back to the last snapshot before `target`, to play on
  // from there (DemoPlayer::Resume does not return); false when there is none.
  bool GoBack(DemoPlayer& player, Target target);
  // Whether the frame just ended is where `target` goes, or past it.
  bool Reached(const DemoPlayer& player, const Target& target, bool endsGame) const;
  // Whether a snapshot lies before where `target` goes.
  bool Before(const Kept& kept, const Target& target) const;
  void Keep(DemoPlayer& player, bool betweenGames);
  // Stands on the frame just ended until something is asked.
  void Stand(DemoPlayer& player);
  void Sound(DemoPlayer& player) const;

  std::uint64_t fileBytes_;
  std::int64_t every_;
  std::uint64_t budget_;
  std::vector<Kept> snapshots_;
  std::deque<ViewCommand> asked_;
  std::optional<double> askedFraction_;
  std::optional<std::int64_t> askedFrame_;
  std::optional<Target> target_;
  int speed_ = kNormalSpeed;
  bool paused_ = false;
  bool standing_ = false;  // the playback has stood on the frame just ended
  // How far the file has been read: its frames and its games.
  std::int64_t framesRead_ = 0;
  int gamesRead_ = 0;
  bool complete_ = false;
  std::int64_t lastFrame_ = 0;  // once complete: the demo's last frame
};

}  // namespace zorva
