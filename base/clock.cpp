#include "base/clock.h"

namespace zorva {

void Wait(std::int64_t count) {
  const std::int64_t start = timeGetTime();
  std::int64_t elapsed = Main->WaitReading(count) - start;
  while (!(elapsed > count)) {
    elapsed = Main->WaitReading(count - elapsed) - start;
  }
}

}  // namespace zorva
