// Verifications outside the server's process: each upload is verified by a
// worker process of its own (`zorva-board verify`), under limits of processor
// time, memory and wall time, at most so many at once, with a bounded number
// of uploads waiting for their turn. A worker that crashes or runs out of its
// limits costs only its own upload.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "board/verifier.h"

namespace zorva {

class Workers {
 public:
  // Runs `program` with the argument verify; `slots` at once, `queue` more
  // waiting.
  Workers(std::string program, int slots, int queue, WorkerLimits limits);

  enum class Outcome { Verified, Busy, OverLimits, Failed };
  // Verifies `demo`. Busy when every slot is taken and the queue is full;
  // OverLimits and Failed, with a sentence in `why`, when the worker ran out
  // of its limits or ended without a verdict.
  Outcome Verify(const std::string& demo, UploadVerdict& verdict, std::string& why);
  // Ends every verification under way (Failed) and refuses any more: the
  // board stops.
  void Stop();

 private:
  Outcome Run(const std::string& demo, UploadVerdict& verdict, std::string& why);
  // Starts a worker on `demo`: its process, and in `output` the pipe it
  // answers on; -1 with a sentence in `why` when it cannot.
  pid_t Spawn(const std::string& demo, int& output, std::string& why);

  const std::string program_;
  const int slots_, queue_;
  const WorkerLimits limits_;
  std::mutex mutex_;
  std::condition_variable freed_;
  int running_ = 0, waiting_ = 0;
  bool stopped_ = false;
  std::set<pid_t> workers_;  // started, not yet waited for
};

}  // namespace zorva
