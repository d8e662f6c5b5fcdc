// The busy wait and the interval gate: all the timing of the game.
#pragma once

#include <cstdint>
#include <utility>

#include "base/window.h"

namespace zorva {

// Returns once the clock has advanced by more than `count` ms since the call
// began. Runs no event pump: while it waits, nothing else happens.
void Wait(std::int64_t count);

// When an open gate reads the clock for its next time: before its action
// runs, or after it.
enum class Rearm { BeforeAction, AfterAction };

// One poll of an interval gate with next time `next` and last-poll time
// `last`. The gate acts only when next < last, that is when the previous poll
// that did not act was already past the next time; so the action comes at the
// earliest on the second poll after the interval has run out, and a fresh gate
// (0, 0) acts on its second poll. `condition` is a further requirement tested
// together with next < last. When the gate acts it runs `action` and sets
// next = clock + interval (the clock read where `when` says); `last` stays.
// Otherwise it only records last = clock. Returns whether it acted.
template <class Action>
bool PollGate(std::int64_t& next, std::int64_t& last, std::int64_t interval, Rearm when, Action&& action,
              bool condition = true) {
  if (next < last && condition) {
    if (when == Rearm::BeforeAction) {
      next = timeGetTime() + interval;
      std::forward<Action>(action)();
    } else {
      std::forward<Action>(action)();
      next = timeGetTime() + interval;
    }
    return true;
  }
  last = timeGetTime();
  return false;
}

}  // namespace zorva
