#include "board/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <exception>

namespace zorva {

namespace {

// A worker's verdict holds each game of the file once more, packed alone.
constexpr std::size_t kMaxVerdictBytes = std::size_t{16} << 20;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer reserves terabytes of address space for itself.
constexpr bool kLimitMemory = false;
#else
constexpr bool kLimitMemory = true;
#endif

// In the child, between fork and exec: only calls that are safe there.
void Place(int from, int to) {
  if (from == to) {
    fcntl(to, F_SETFD, 0);
  } else {
    dup2(from, to);
  }
}

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

Workers::Outcome Workers::Verify(const std::string& demo, Verdict& verdict, std::string& why) {
  {
    std::unique_lock lock(mutex_);
    if (running_ >= slots_) {
      if (waiting_ >= queue_) return Outcome::Busy;
      ++waiting_;
      freed_.wait(lock, [this] { return running_ < slots_; });
      --waiting_;
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

Workers::Outcome Workers::Run(const std::string& demo, Verdict& verdict, std::string& why) {
  const auto failed = [&why](const std::string& sentence) {
    why = sentence;
    return Outcome::Failed;
  };
  Descriptor input{memfd_create("upload", MFD_CLOEXEC)}, output, end;
  for (std::size_t at = 0; input.fd >= 0 && at < demo.size();) {
    const ssize_t n = ::write(input.fd, demo.data() + at, demo.size() - at);
    if (n <= 0) return failed("The board cannot hold the file for its verifier.");
    at += static_cast<std::size_t>(n);
  }
  int pipe[2];
  if (input.fd < 0 || ::lseek(input.fd, 0, SEEK_SET) != 0 || ::pipe2(pipe, O_CLOEXEC) != 0) {
    return failed("The board cannot start its verifier.");
  }
  output.fd = pipe[0], end.fd = pipe[1];
  const char* argv[] = {program_.c_str(), "verify", nullptr};
  const rlimit cpu{static_cast<rlim_t>(limits_.seconds), static_cast<rlim_t>(limits_.seconds) + 1};
  const rlimit memory{limits_.memoryBytes, limits_.memoryBytes}, none{0, 0};
  const pid_t pid = ::fork();
  if (pid < 0) return failed("The board cannot start its verifier.");
  if (pid == 0) {
    Place(input.fd, 0);
    Place(end.fd, 1);
    setrlimit(RLIMIT_CPU, &cpu);
    if (kLimitMemory) setrlimit(RLIMIT_AS, &memory);
    setrlimit(RLIMIT_CORE, &none);
    close_range(3, ~0U, 0);
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  input.Close(), end.Close();

  // Its verdict, within the wall time.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2 * limits_.seconds + 5);
  std::string said;
  bool overLimits = false;
  for (char buffer[64 * 1024];;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wait{output.fd, POLLIN, 0};
    const int ready = left > 0 ? ::poll(&wait, 1, static_cast<int>(left)) : 0;
    if (ready < 0 && errno == EINTR) continue;
    const ssize_t n = ready > 0 ? ::read(output.fd, buffer, sizeof buffer) : -1;
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || said.size() + static_cast<std::size_t>(n) > kMaxVerdictBytes) {
      overLimits = true;
      ::kill(pid, SIGKILL);
      break;
    }
    said.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const std::string limits = "The verifier needed more than its limits (" + std::to_string(limits_.seconds) +
                             " s of processor time, " + std::to_string(limits_.memoryBytes >> 20) +
                             " MiB of memory) for this file; nothing of it was stored.";
  if (overLimits || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
    why = limits;
    return Outcome::OverLimits;
  }
  if (WIFSIGNALED(status)) {
    return failed("The verifier stopped on this file (signal " + std::to_string(WTERMSIG(status)) +
                  ") without a verdict; nothing of it was stored.");
  }
  if (WEXITSTATUS(status) != 0) {
    return failed("The verifier ended on this file with status " + std::to_string(WEXITSTATUS(status)) +
                  " without a verdict; nothing of it was stored.");
  }
  try {
    verdict = DecodeVerdict(said);
  } catch (const std::exception&) {
    return failed("The verifier's verdict on this file could not be read; nothing of it was stored.");
  }
  return Outcome::Verified;
}

}  // namespace zorva
