#include "board/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <exception>
#include <utility>

namespace zorva {

namespace {

// A worker's verdict holds each game of the file once more, packed alone.
constexpr std::size_t kMaxVerdictBytes = std::size_t{16} << 20;

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace

Workers::Workers(std::string program, int slots, int queue, WorkerLimits limits)
    : program_(std::move(program)), slots_(slots), queue_(queue), limits_(limits) {}

void Workers::Stop() {
  const std::lock_guard lock(mutex_);
  stopped_ = true;
  for (const pid_t pid : workers_) ::kill(pid, SIGKILL);
  freed_.notify_all();
}

Workers::Outcome Workers::Verify(const std::string& demo, UploadVerdict& verdict, std::string& why) {
  {
    std::unique_lock lock(mutex_);
    if (running_ >= slots_ && !stopped_) {
      if (waiting_ >= queue_) return Outcome::Busy;
      ++waiting_;
      freed_.wait(lock, [this] { return running_ < slots_ || stopped_; });
      --waiting_;
    }
    if (stopped_) {
      why = "The board is stopping; send the file again.";
      return Outcome::Failed;
    }
    ++running_;
  }
  struct Release {
    Workers& w;
    ~Release() {
      const std::lock_guard lock(w.mutex_);
      --w.running_;
      w.freed_.notify_one();
    }
  } release{*this};
  return Run(demo, verdict, why);
}

namespace {

// Above the standard descriptors, which the worker gets them as.
int Above(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

// What the worker on `pid` writes on `fd` until it ends, within `seconds` of
// wall time and kMaxVerdictBytes: false when it goes beyond either (it is
// killed then).
bool ReadVerdict(int fd, pid_t pid, int seconds, std::string& said) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  for (char buffer[64 * 1024];;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wait{fd, POLLIN, 0};
    const int ready = left > 0 ? ::poll(&wait, 1, static_cast<int>(left)) : 0;
    if (ready < 0 && errno == EINTR) continue;
    const ssize_t n = ready > 0 ? ::read(fd, buffer, sizeof buffer) : -1;
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || said.size() + static_cast<std::size_t>(n) > kMaxVerdictBytes) {
      ::kill(pid, SIGKILL);
      return false;
    }
    said.append(buffer, static_cast<std::size_t>(n));
  }
}

// The outcome of a worker that ended with `status` having said `said` (all of
// it when `whole`).
Workers::Outcome Judge(const WorkerLimits& limits, bool whole, int status, const std::string& said,
                       UploadVerdict& verdict, std::string& why) {
  if (!whole || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
    why = "The verifier needed more than its limits (" + std::to_string(limits.seconds) + " s of processor time, " +
          std::to_string(limits.memoryBytes >> 20) + " MiB of memory) for this file; nothing of it was stored.";
    return Workers::Outcome::OverLimits;
  }
  if (WIFSIGNALED(status)) {
    why = "The verifier stopped on this file (signal " + std::to_string(WTERMSIG(status)) +
          ") without a verdict; nothing of it was stored.";
    return Workers::Outcome::Failed;
  }
  if (WEXITSTATUS(status) != 0) {
    why = "The verifier ended on this file with status " + std::to_string(WEXITSTATUS(status)) +
          " without a verdict; nothing of it was stored.";
    return Workers::Outcome::Failed;
  }
  try {
    verdict = DecodeVerdict(said);
  } catch (const std::exception&) {
    why = "The verifier's verdict on this file could not be read; nothing of it was stored.";
    return Workers::Outcome::Failed;
  }
  return Workers::Outcome::Verified;
}

}  // namespace

Workers::Outcome Workers::Run(const std::string& demo, UploadVerdict& verdict, std::string& why) {
  Descriptor output;
  const pid_t pid = Spawn(demo, output.fd, why);
  if (pid < 0) return Outcome::Failed;
  // Its verdict, within the wall time.
  std::string said;
  const bool whole = ReadVerdict(output.fd, pid, 2 * limits_.seconds + 5, said);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  {
    const std::lock_guard lock(mutex_);
    workers_.erase(pid);
  }
  return Judge(limits_, whole, status, said, verdict, why);
}

pid_t Workers::Spawn(const std::string& demo, int& output, std::string& why) {
  const auto failed = [&why](const char* sentence) {
    why = sentence;
    return pid_t{-1};
  };
  Descriptor input{Above(memfd_create("upload", MFD_CLOEXEC))}, read, end;
  for (std::size_t at = 0; input.fd >= 0 && at < demo.size();) {
    const ssize_t n = ::write(input.fd, demo.data() + at, demo.size() - at);
    if (n <= 0) return failed("The board cannot hold the file for its verifier.");
    at += static_cast<std::size_t>(n);
  }
  int pipe[2];
  if (input.fd < 0 || ::lseek(input.fd, 0, SEEK_SET) != 0 || ::pipe2(pipe, O_CLOEXEC) != 0) {
    return failed("The board cannot start its verifier.");
  }
  read.fd = Above(pipe[0]), end.fd = Above(pipe[1]);
  if (read.fd < 0 || end.fd < 0) return failed("The board cannot start its verifier.");
  // Spawned without copying the server's memory; the worker puts its limits
  // on itself before it reads a byte of the demo.
  const std::string seconds = std::to_string(limits_.seconds), memory = std::to_string(limits_.memoryBytes >> 20);
  const char* argv[] = {program_.c_str(), "verify", "--verify-seconds", seconds.c_str(), "--verify-memory",
                        memory.c_str(),   nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input.fd, 0);
  posix_spawn_file_actions_adddup2(&actions, end.fd, 1);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  int spawned;
  {
    // Known before Stop may look for it.
    const std::lock_guard lock(mutex_);
    spawned = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    if (spawned == 0) workers_.insert(pid);
    if (spawned == 0 && stopped_) ::kill(pid, SIGKILL);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return failed("The board cannot start its verifier.");
  output = std::exchange(read.fd, -1);
  return pid;
}

}  // namespace zorva
