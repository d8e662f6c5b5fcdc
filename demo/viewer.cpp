#include "demo/viewer.h"

#include <algorithm>
#include <cmath>

namespace zorva {

namespace {

// How far the clock seeks go, in ms of the demo's clock.
constexpr std::int64_t kShortSeekMs = 5000, kLongSeekMs = 30000;
// "The game before" goes to the start of this one when it has run longer.
constexpr std::int64_t kRestartAfterMs = 2000;

}  // namespace

Viewer::Viewer(std::uint64_t fileBytes, std::int64_t every, std::uint64_t budget)
    : fileBytes_(fileBytes), every_(std::max<std::int64_t>(every, 1)), budget_(budget) {}

void Viewer::Ask(ViewCommand command) {
  if (command != ViewCommand::None) asked_.push_back(command);
}

void Viewer::SeekToFraction(double fraction) {
  if (std::isfinite(fraction)) askedFraction_ = std::clamp(fraction, 0.0, 1.0);
}

void Viewer::SeekToFrame(std::int64_t frame) { askedFrame_ = std::max<std::int64_t>(frame, 1); }

void Viewer::SetSpeed(int speed) { speed_ = std::clamp(speed, 0, kFastestSpeed); }

ViewStatus Viewer::Status(const DemoPlayer& player) const {
  ViewStatus s;
  s.game = player.Game();
  s.gamesSeen = std::max(gamesRead_, s.game);
  s.frame = player.Frame();
  s.frames = complete_ ? lastFrame_ : framesRead_;
  s.complete = complete_;
  s.fraction = fileBytes_ > 0 ? std::clamp(player.FileBytesRead() / static_cast<double>(fileBytes_), 0.0, 1.0) : 0;
  s.clockMs = player.GameClock();
  s.speed = speed_;
  s.paused = paused_;
  s.seeking = target_.has_value() && player.Frame() >= framesRead_;
  return s;
}

// Snapshots.

void Viewer::Keep(DemoPlayer& player, bool betweenGames) {
  if (!snapshots_.empty()) {
    const Kept& last = snapshots_.back();
    // Only where the playback has not kept one yet, every so many frames
    // within a game.
    if (std::pair(player.Frame(), player.Game()) <= std::pair(last.frame, last.game)) return;
    if (!betweenGames && player.Frame() - last.frame < every_) return;
  }
  snapshots_.push_back({player.Frame(), player.DemoClock(), player.FileBytesRead(), player.Game(), player.Take()});
  if (SnapshotBytes() <= budget_) return;
  // Every other one goes, the first stays.
  std::vector<Kept> kept;
  for (std::size_t i = 0; i < snapshots_.size(); i += 2) kept.push_back(std::move(snapshots_[i]));
  snapshots_ = std::move(kept);
  every_ *= 2;
}

bool Viewer::Before(const Kept& kept, const Target& target) const {
  switch (target.kind) {
    case Target::Kind::Frame: return kept.frame < target.value;
    case Target::Kind::DemoClock: return kept.frame == 0 || kept.demoClock < target.value;
    case Target::Kind::FileByte: return kept.frame == 0 || kept.fileByte < static_cast<double>(target.value);
    case Target::Kind::GameStart: return kept.game < target.value;
    case Target::Kind::End: return true;
  }
  return false;
}

bool Viewer::Reached(const DemoPlayer& player, const Target& target, bool) const {
  switch (target.kind) {
    case Target::Kind::Frame: return player.Frame() >= target.value;
    case Target::Kind::DemoClock: return player.DemoClock() >= target.value;
    case Target::Kind::FileByte: return player.FileBytesRead() >= static_cast<double>(target.value);
    case Target::Kind::GameStart: return player.Game() >= target.value;
    case Target::Kind::End: return false;
  }
  return false;
}

// The player's hooks.

void Viewer::BetweenGames(DemoPlayer& player) { Keep(player, true); }

void Viewer::FrameEnds(DemoPlayer& player, bool endsGame) {
  framesRead_ = std::max(framesRead_, player.Frame());
  gamesRead_ = std::max(gamesRead_, player.Game());
  if (!endsGame) Keep(player, false);
  const bool landed = target_ && Reached(player, *target_, endsGame);
  if (landed) target_.reset();
  standing_ = false;
  if (landed || (paused_ && !target_)) Stand(player);
  Serve(player);
  // A pause asked while the playback went on stands on the frame just ended.
  if (paused_ && !target_ && !standing_) {
    Stand(player);
    Serve(player);
  }
  while (paused_ && !target_ && idle) {
    idle();
    Serve(player);
  }
  Sound(player);
}

void Viewer::Stand(DemoPlayer& player) {
  standing_ = true;
  player.ShowLastFrame();
  if (onStanding) onStanding(player.Frame());
}

bool Viewer::DemoEnds(DemoPlayer& player) {
  // The last frame that ended: a demo that ends with its window closed ends
  // inside a frame.
  complete_ = true;
  lastFrame_ = framesRead_;
  if (!target_) return false;
  // Wherever the viewer was going, the demo ends first: back to its last frame.
  paused_ = true;
  return GoBack(player, {Target::Kind::Frame, lastFrame_});
}

// What was asked.

void Viewer::Serve(DemoPlayer& player) {
  while (!asked_.empty()) {
    const ViewCommand command = asked_.front();
    asked_.pop_front();
    Carry(player, command);
  }
  if (askedFraction_) {
    const auto byte = static_cast<std::int64_t>(*askedFraction_ * static_cast<double>(fileBytes_));
    askedFraction_.reset();
    SeekTo(player, {Target::Kind::FileByte, byte});
  }
  if (askedFrame_) {
    const std::int64_t frame = complete_ ? std::min(*askedFrame_, lastFrame_) : *askedFrame_;
    askedFrame_.reset();
    SeekTo(player, {Target::Kind::Frame, frame});
  }
  Sound(player);
}

void Viewer::Carry(DemoPlayer& player, ViewCommand command) {
  using K = Target::Kind;
  const auto byClock = [&](std::int64_t ms) {
    const std::int64_t to = player.DemoClock() + ms;
    SeekTo(player, to <= 0 ? Target{K::Frame, 1} : Target{K::DemoClock, to});
  };
  const int game = std::max(player.Game(), 1);
  switch (command) {
    case ViewCommand::None: break;
    case ViewCommand::PauseResume: paused_ = !paused_; break;
    case ViewCommand::StepBack:
      paused_ = true;
      if (player.Frame() > 1) SeekTo(player, {K::Frame, player.Frame() - 1});
      break;
    case ViewCommand::StepForward:
      paused_ = true;
      SeekTo(player, {K::Frame, player.Frame() + 1});
      break;
    case ViewCommand::Slower: SetSpeed(speed_ == kFastestSpeed ? kFastestSpeed - 1 : speed_ - 1); break;
    case ViewCommand::Faster: SetSpeed(speed_ + 1); break;
    case ViewCommand::NormalSpeed: speed_ = kNormalSpeed; break;
    case ViewCommand::Back5s: byClock(-kShortSeekMs); break;
    case ViewCommand::Forward5s: byClock(kShortSeekMs); break;
    case ViewCommand::Back30s: byClock(-kLongSeekMs); break;
    case ViewCommand::Forward30s: byClock(kLongSeekMs); break;
    case ViewCommand::PreviousGame:
      SeekTo(player, {K::GameStart, player.GameClock() > kRestartAfterMs || game == 1 ? game : game - 1});
      break;
    case ViewCommand::NextGame: SeekTo(player, {K::GameStart, game + 1}); break;
    case ViewCommand::ToStart: SeekTo(player, {K::Frame, 1}); break;
    case ViewCommand::ToEnd:
      paused_ = true;
      SeekTo(player, complete_ ? Target{K::Frame, lastFrame_} : Target{K::End, 0});
      break;
  }
}

void Viewer::SeekTo(DemoPlayer& player, Target target) {
  const bool ahead =
      target.kind == Target::Kind::End || (target.kind == Target::Kind::Frame && target.value > player.Frame()) ||
      (target.kind == Target::Kind::DemoClock && target.value > player.DemoClock()) ||
      (target.kind == Target::Kind::FileByte && static_cast<double>(target.value) > player.FileBytesRead()) ||
      (target.kind == Target::Kind::GameStart && target.value > player.Game());
  if (!ahead) {
    if (target.kind == Target::Kind::Frame && target.value == player.Frame()) return;  // there already
    GoBack(player, target);
    return;
  }
  // Ahead: from the last snapshot before the target when the file has been
  // read that far (it lies beyond this frame), else played on to from here.
  target_ = target;
  const auto after = std::partition_point(snapshots_.begin(), snapshots_.end(),
                                          [&](const Kept& kept) { return Before(kept, target); });
  if (after != snapshots_.begin() && std::prev(after)->frame > player.Frame() + every_) GoBack(player, target);
}

bool Viewer::GoBack(DemoPlayer& player, Target target) {
  // From the last snapshot before where the target lies.
  const auto after = std::partition_point(snapshots_.begin(), snapshots_.end(),
                                          [&](const Kept& kept) { return Before(kept, target); });
  if (after == snapshots_.begin()) {
    target_.reset();
    return false;
  }
  target_ = target;
  Sound(player);
  player.Resume(std::prev(after)->snapshot);
}

void Viewer::Sound(DemoPlayer& player) const {
  // On the way to another frame, silent and as fast as it goes.
  Main->SetSilent(target_.has_value() || !SpeedSounds(speed_));
  player.SetPace(target_ ? 0 : kSpeedSixteenths[speed_]);
}

}  // namespace zorva
