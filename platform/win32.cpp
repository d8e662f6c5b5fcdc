// The operating system's part of base/files.h on Windows, with wide-character
// calls throughout, so that any file name works; and the conversions between
// UTF-8 and UTF-16 (platform/wide.h).
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/files.h"
#include "platform/wide.h"

namespace zorva {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

// The system's reason, in the words the other systems use where they match.
std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return std::strerror(EACCES);
    default: break;
  }
  wchar_t* text = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = n > 0 && text != nullptr ? std::wstring(text, n) : L"error " + std::to_wstring(error);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L'.'))
    reason.pop_back();
  return Utf8(reason);
}

HANDLE Handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Opens what is at `path` with `access` (none: only to look at it). Folders
// open too (backup semantics), so that they can be named as such; a pipe with
// no instance free is refused at once, never waited for.
HANDLE Look(const std::string& path, DWORD access) {
  return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What the open `h` is when it is not a regular file, as NotAFile says it (or
// why it cannot be told); empty for a regular file, whose identity and size
// are then in `info`.
std::string Kind(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_CHAR: return "a device";
    case FILE_TYPE_PIPE: return "a FIFO";
    default: return "not a regular file";
  }
  if (!GetFileInformationByHandle(h, &info)) return Reason(GetLastError());
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a directory" : "";
}

// The full path of `path`, as the system would open it; empty when it has none.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return {};
    if (n < full.size()) return full.substr(0, n);
    full.resize(n);
  }
}

}  // namespace

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  std::swap(handle_, other.handle_);
  std::swap(size_, other.size_);
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
}

ReadOnlyFile ReadOnlyFile::Open(const std::string& path, std::string& why) {
  ReadOnlyFile file;
  if (path.empty()) {
    why = std::strerror(ENOENT);
    return file;
  }
  const HANDLE h = Look(path, GENERIC_READ);
  if (h == INVALID_HANDLE_VALUE) {
    why = Reason(GetLastError());
    return file;
  }
  file.handle_ = reinterpret_cast<std::intptr_t>(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (why = Kind(h, info); !why.empty()) return ReadOnlyFile();
  file.size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return file;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t at, void* out, std::size_t n) const {
  auto* bytes = static_cast<unsigned char*>(out);
  std::size_t got = 0;
  while (got < n && handle_ != -1) {
    const std::uint64_t from = at + got;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(from);
    where.OffsetHigh = static_cast<DWORD>(from >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - got, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(Handle(handle_), bytes + got, want, &read, &where) || read == 0) break;
    got += read;
  }
  return got;
}

LineLog& LineLog::operator=(LineLog&& other) noexcept {
  std::swap(handle_, other.handle_);
  return *this;
}

LineLog::~LineLog() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
}

LineLog LineLog::Create(const std::string& path, std::string& why) {
  LineLog log;
  const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A folder is refused as "access denied": say what it is, as elsewhere.
    const std::string what = NotAFile(path);
    why = what == "a directory" ? what : Reason(error);
    return log;
  }
  log.handle_ = reinterpret_cast<std::intptr_t>(h);
  return log;
}

bool LineLog::Write(const std::string& line, std::string& why) {
  std::size_t done = 0;
  while (done < line.size()) {
    DWORD wrote = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(line.size() - done, 1u << 30));
    if (!WriteFile(Handle(handle_), line.data() + done, want, &wrote, nullptr) || wrote == 0) {
      why = Reason(GetLastError());
      return false;
    }
    done += wrote;
  }
  return true;
}

std::FILE* CreateNewFile(const std::string& path) {
  // Shared for deleting, so that the file can be renamed while it is open.
  const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
            : error == ERROR_ACCESS_DENIED                              ? EACCES
                                                                        : ENOENT;
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

bool RenameOver(const std::string& from, const std::string& to, std::string& why) {
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  why = Reason(GetLastError());
  return false;
}

std::string NotAFile(const std::string& path) {
  if (path.empty()) return {};
  const HANDLE h = Look(path, 0);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_PIPE_BUSY ? "a FIFO" : "";
  BY_HANDLE_FILE_INFORMATION info{};
  const std::string what = Kind(h, info);
  CloseHandle(h);
  return what;
}

FileStamp StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return {};
  return {(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, 0,
          static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                    info.ftLastWriteTime.dwLowDateTime),
          0};
}

bool SameFile(const std::string& a, const std::string& b) {
  // Two files are the same when the volume and the file index agree; the
  // library's own comparison of paths is not to be trusted here.
  const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h = path.empty() ? INVALID_HANDLE_VALUE : Look(path, 0);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (identify(a, ia) && identify(b, ib)) {
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
  }
  // Not there yet: the same name once made, letters compared without case as
  // the file system does.
  const std::wstring fa = FullPath(a), fb = FullPath(b);
  return !fa.empty() && !fb.empty() &&
         CompareStringOrdinal(fa.data(), static_cast<int>(fa.size()), fb.data(), static_cast<int>(fb.size()), TRUE) ==
             CSTR_EQUAL;
}

void BinaryStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

std::string ProgramFolder(const char* argv0) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) {
      path.clear();
      break;
    }
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::string folder;
  if (!path.empty()) {
    folder = Utf8(path.substr(0, path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/")));
  } else if (argv0 != nullptr) {
    const std::string exe = argv0;
    const std::size_t slash = exe.find_last_of("\\/");
    folder = slash == std::string::npos ? "" : exe.substr(0, slash);
  }
  return folder.empty() ? "." : folder;
}

}  // namespace zorva
