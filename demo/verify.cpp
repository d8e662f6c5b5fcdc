#include "demo/verify.h"

#include <algorithm>
#include <type_traits>
#include <vector>

#include "base/rnd.h"
#include "flow/game.h"
#include "flow/title.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "rules/formation.h"
#include "rules/player.h"
#include "rules/shots.h"

namespace zorva {

namespace {

// A gate: its next time, its last poll, and the longest interval any routine
// adds to a reading to set the next time.
struct Gate {
  std::int64_t GameState::*next;
  std::int64_t GameState::*last;
  std::int64_t interval;
  const char* what;
};
// The formation's pair is the title blink's too, whose interval is longer
// than any formation step.
static_assert(kTitleBlinkMs >= kFirstMarchIntervalMs);
constexpr Gate kGates[] = {
    {&GameState::MarchNext, &GameState::MarchLast, kTitleBlinkMs, "the formation's step gate"},
    {&GameState::ShotNext, &GameState::ShotLast, kFireIntervalMs, "the fire button's gate"},
    {&GameState::BlastNext, &GameState::BlastLast, kBlastIntervalMs, "the explosions' gate"},
    {&GameState::FpsNext, &GameState::FpsLast, kFpsIntervalMs, "the frame rate's gate"},
    {&GameState::GameOverKeyAt, &GameState::GameOverLast, kGameOverKeyMs, "the GAME OVER screen's key deadline"},
    {&GameState::GameOverTimeoutAt, &GameState::GameOverLast, kGameOverTimeoutMs, "the GAME OVER screen's timeout"},
};

// Whether `member` is one of `fields` of `g`.
template <class Member, class... Fields>
bool IsOneOf(const GameState& g, const Member& member, Fields... fields) {
  return ((static_cast<const void*>(&member) == static_cast<const void*>(&(g.*fields))) || ...);
}

// How a refusal names the variable `member` of `g`.
template <class Member>
std::string Named(const GameState& g, const Variable& var, const Member& member) {
  for (const Gate& gate : kGates) {
    if (IsOneOf(g, member, gate.next, gate.last)) return gate.what;
  }
  using S = GameState;
  if (IsOneOf(g, member, &S::ShotX, &S::ShotY, &S::ShotActive)) return "the shots";
  if (IsOneOf(g, member, &S::BulletActive, &S::BulletX, &S::BulletY, &S::BulletDX, &S::BulletDY, &S::BulletDrawX,
              &S::BulletDrawY)) {
    return "the bullets";
  }
  if (IsOneOf(g, member, &S::HiScore)) return "the best score";
  return var.name;
}

// The first variable that nothing but the game could have set otherwise than
// `before` has it, as a refusal says it ("the shots differ from what game 1
// left (ShotX)"); empty when there is none.
std::string FirstDifference(const GameState& now, const GameState& before, const std::string& leftBy) {
  std::string differs;
  EachVariable(now, before, [&](const Variable& var, const auto& held, const auto& left) {
    if (!differs.empty() || var.between != kCarriedOver || held == left) return;
    const std::string what = Named(now, var, held);
    const bool many = what == "the shots" || what == "the bullets";
    differs = what + (many ? " differ" : " differs") + " from what " + leftBy + " left (" + var.name + ")";
  });
  return differs;
}

// What a game that begins after other games says of its score: how many of
// its points the shots it began with could have made, one enemy each.
std::string CarriedPoints(int shots, std::int32_t score) {
  if (shots == 0) return "no shot was in flight at its start, so every point is the game's own";
  const std::int64_t most = std::min<std::int64_t>(std::int64_t{shots} * kPointsPerEnemy, score);
  return "the " + std::to_string(shots) + (shots == 1 ? " shot" : " shots") +
         " in flight at its start could account for " +
         (most == 0 ? std::string("none") : "up to " + std::to_string(most)) + " of its points";
}

}  // namespace

RuleBreak::RuleBreak(int game, const std::string& why)
    : std::runtime_error("game " + std::to_string(game) + ": not a game the rules allow: " + why) {}

std::string Grouped(std::int64_t v) {
  const std::string digits = std::to_string(v);
  const std::size_t first = v < 0 ? 1 : 0;
  std::string grouped = digits.substr(0, first);
  for (std::size_t i = first; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::uint64_t FreshTitleRnd() {
  const std::uint64_t saved = RndState();
  ResetRnd();
  for (int i = 0; i < kStarfieldDraws; ++i) Rnd();
  const std::uint64_t fresh = RndState();
  SetRndState(saved);
  return fresh;
}

void Verifier::GameStarts(const GameStart& start) {
  const int game = games_ + 1;
  const auto refuse = [game](const std::string& why) { throw RuleBreak(game, why); };
  const bool first = games_ == 0;
  const std::string leftBy = first ? "the program's start" : "game " + std::to_string(games_);

  if (start.clock < clock_) {
    refuse("it starts at " + Grouped(start.clock) + " ms, before the clock of " + leftBy + " (" + Grouped(clock_) +
           " ms)");
  }
  // Every gate time was set from a reading taken before the game's start.
  for (const Gate& g : kGates) {
    const std::int64_t next = start.state.*g.next, last = start.state.*g.last;
    if (next - start.clock > g.interval) {
      refuse(std::string(g.what) + " is " + Grouped(next - start.clock) + " ms ahead of the clock");
    }
    if (last > start.clock) {
      refuse(std::string(g.what) + " was polled " + Grouped(last - start.clock) + " ms ahead of the clock");
    }
  }
  // Nothing but the title loop runs between the earlier game and this one.
  std::string differs = FirstDifference(start.state, state_, leftBy);
  if (differs.empty() && start.rnd != (first ? FreshTitleRnd() : rnd_)) {
    differs = "the random state is not the one " + leftBy + " left";
  }
  // The first game of a file saved after other games carries what they left:
  // it is taken as it is.
  if (!differs.empty() && !first) refuse(differs);
  carriedIn_ = !differs.empty();
  shotsCarriedIn_ =
      carriedIn_ ? static_cast<int>(std::count(start.state.ShotActive.begin(), start.state.ShotActive.end(), 1)) : 0;
  waitThroughout_ = start.wait;
}

void Verifier::Pumped(bool mark) { waitThroughout_ = waitThroughout_ && mark; }

void Verifier::Unpaced(std::int64_t frame, std::int64_t lasted) const {
  throw RuleBreak(games_ + 1, "frame " + std::to_string(frame) + " is paced by WAIT but lasts " + Grouped(lasted) +
                                  " ms, less than the wait allows");
}

void Verifier::EndDiffers(const Trailer& played, const Trailer& recorded) const {
  throw RuleBreak(games_ + 1, "it ends with " + DescribeEnd(played) + ", its trailer says " + DescribeEnd(recorded));
}

void Verifier::GameEnds(const GameState& state, std::uint64_t rnd, std::int64_t clock) {
  ++games_;
  state_ = state;
  rnd_ = rnd;
  clock_ = clock;
}

std::string Verifier::Verdict(const Trailer& trailer) const {
  std::string verdict =
      std::string("verified, WAIT ") + (waitThroughout_ ? "checked throughout" : "not always checked");
  if (carriedIn_) {
    verdict += "; the file begins after other games, whose best score, shots and bullets are taken as they are: " +
               CarriedPoints(shotsCarriedIn_, trailer.score);
  }
  return verdict;
}

}  // namespace zorva
