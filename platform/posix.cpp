// The operating system's part of base/files.h on Linux and other POSIX
// systems (and in Emscripten's file system).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "base/files.h"

namespace zorva {

namespace {

const char* Kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

}  // namespace

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  std::swap(handle_, other.handle_);
  std::swap(size_, other.size_);
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
}

ReadOnlyFile ReadOnlyFile::Open(const std::string& path, std::string& why) {
  ReadOnlyFile file;
  if (path.empty()) {
    why = std::strerror(ENOENT);
    return file;
  }
  // Opened without blocking and checked on the open file itself, so that a
  // pipe or a device under the name cannot hold the game up, and a file
  // swapped after the check is still the one checked.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return file;
  }
  file.handle_ = fd;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    why = std::strerror(errno);
    return ReadOnlyFile();
  }
  if (!S_ISREG(info.st_mode)) {
    why = Kind(info.st_mode);
    return ReadOnlyFile();
  }
  file.size_ = static_cast<std::uint64_t>(info.st_size);
  return file;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t at, void* out, std::size_t n) const {
  auto* bytes = static_cast<unsigned char*>(out);
  std::size_t got = 0;
  while (got < n && handle_ != -1) {
    const std::uint64_t from = at + got;
    if (from > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
    const ssize_t r = ::pread(static_cast<int>(handle_), bytes + got, n - got, static_cast<off_t>(from));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

LineLog& LineLog::operator=(LineLog&& other) noexcept {
  std::swap(handle_, other.handle_);
  return *this;
}

LineLog::~LineLog() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
}

LineLog LineLog::Create(const std::string& path, std::string& why) {
  LineLog log;
  // A pipe whose reader left answers a write with EPIPE instead of ending
  // the program.
  std::signal(SIGPIPE, SIG_IGN);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    why = errno == ENXIO ? "a FIFO that nobody reads" : errno == EISDIR ? "a directory" : std::strerror(errno);
    return log;
  }
  log.handle_ = fd;
  return log;
}

bool LineLog::Write(const std::string& line, std::string& why) {
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(static_cast<int>(handle_), line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // a full pipe: the line is left out
    if (n <= 0) {
      why = n < 0 ? std::strerror(errno) : std::strerror(ENOSPC);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

bool RenameOver(const std::string& from, const std::string& to, std::string& why) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  why = std::strerror(errno);
  return false;
}

std::string NotAFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  return Kind(info.st_mode);
}

FileStamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {static_cast<std::uint64_t>(info.st_size), static_cast<std::uint64_t>(info.st_ino), info.st_mtim.tv_sec,
          info.st_mtim.tv_nsec};
}

bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  // Not there yet: the same full name once made ("d.zdm" and "./d.zdm").
  const auto full = [&error](const std::string& path) {
    const fs::path absolute = fs::absolute(path, error);
    return error ? fs::path() : fs::weakly_canonical(absolute, error);
  };
  const fs::path pa = full(a);
  if (error) return false;
  const fs::path pb = full(b);
  return !error && pa == pb;
}

void BinaryStandardOutput() {}  // there is no other mode

std::string ProgramFolder(const char* argv0) {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec && argv0 != nullptr) exe = std::filesystem::absolute(argv0, ec);
  std::string folder = ec ? std::string() : exe.parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace zorva
