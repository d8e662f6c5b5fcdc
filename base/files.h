// What the game asks of the operating system besides its window: files opened
// for reading without ever blocking, a log that never holds the game up, a
// file created anew and renamed over its target, what is at a path and
// whether two paths are one file, standard output that passes bytes as they
// are, and the program's own folder. Declared here without a system header; defined once for each
// operating system in platform/ (posix.cpp, win32.cpp), the only code outside
// the window folders that includes one. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zorva {

// An opened regular file, read at any offset; one thread at a time.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ReadOnlyFile(ReadOnlyFile&& other) noexcept { *this = static_cast<ReadOnlyFile&&>(other); }
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile();

  // Opens `path` for reading. It never blocks: anything but a regular file is
  // refused, and `why` then says what it is ("a FIFO", "a directory", "a
  // device"); a file that cannot be opened is refused with the system's
  // reason ("No such file or directory", "Permission denied", ...).
  static ReadOnlyFile Open(const std::string& path, std::string& why);

  bool IsOpen() const { return handle_ != -1; }
  // The size when it was opened.
  std::uint64_t Size() const { return size_; }
  // Reads up to n bytes from byte `at` on; how many came (fewer at the end of
  // the file, or when it has shrunk since it was opened).
  std::size_t ReadAt(std::uint64_t at, void* out, std::size_t n) const;

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
};

// A log written a line at a time that never holds the game up and never ends
// it: a FIFO is taken only while something reads it, a line a FIFO has no
// room for is left out, and a reader that goes away (or a full disk) is an
// error the caller reports.
class LineLog {
 public:
  LineLog() = default;
  LineLog(LineLog&& other) noexcept { *this = static_cast<LineLog&&>(other); }
  LineLog& operator=(LineLog&& other) noexcept;
  LineLog(const LineLog&) = delete;
  LineLog& operator=(const LineLog&) = delete;
  ~LineLog();

  // Creates `path`, or empties the file of that name, for writing; `why` says
  // why it cannot be written (the system's reason, or "a FIFO that nobody
  // reads").
  static LineLog Create(const std::string& path, std::string& why);

  bool IsOpen() const { return handle_ != -1; }
  // Writes `line` as it is; false, with the system's reason in `why`, when
  // it cannot be written.
  bool Write(const std::string& line, std::string& why);

 private:
  std::intptr_t handle_ = -1;
};

// Creates the file `path` for writing, only where no file of that name is
// (errno is EEXIST then); nullptr, with errno set, when it cannot. The file
// can be renamed while it is open, on every system.
std::FILE* CreateNewFile(const std::string& path);

// Puts the file `from` in place of `to` (replacing what `to` held) in one
// step; false, with the system's reason in `why`, when it cannot.
bool RenameOver(const std::string& from, const std::string& to, std::string& why);

// What is at `path` when it is not a regular file: "a directory", "a FIFO",
// "a device", ...; empty when it is one or nothing is there yet.
std::string NotAFile(const std::string& path);

// A version of a file: its size, where it lies on its disk and when it was
// last written. Two stamps of one path differ once the file is changed or
// replaced; a path with no file has the default stamp.
struct FileStamp {
  std::uint64_t size = ~std::uint64_t{0};
  std::uint64_t place = 0;
  std::int64_t written = 0, writtenNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

// Whether the two paths name the same file, or would once it is made: the
// same file when both are there (however each is spelt: relative, absolute,
// in another case where the system ignores it), else the same full path.
bool SameFile(const std::string& a, const std::string& b);

// Standard output passes what is written to it byte for byte: no line end is
// turned into CR LF on the way (as Windows would), so a dump is the same
// whether it goes to a file or through a pipe.
void BinaryStandardOutput();

// `path` as a message shows it on one line: control characters as \n, \t or
// \xHH.
std::string PrintablePath(const std::string& path);

// The folder of the running program, absolute; the folder of `argv0` where
// the system cannot tell, "." when that has none.
std::string ProgramFolder(const char* argv0);

}  // namespace zorva
