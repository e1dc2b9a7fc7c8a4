#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_io.h"

namespace tallymark::platform {
namespace {

// The one place where errno becomes text.
std::string posixError(const char* what, const std::string& path, int code) {
  return std::string(what) + " '" + path + "': " + std::strerror(code);
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& contents, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = posixError("Cannot open file", path, errno);
    return false;
  }
  struct stat info;
  unsigned long long size = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
                                ? static_cast<unsigned long long>(info.st_size)
                                : 0;
  int failure = 0;
  bool read = detail::readAll(contents, size, [&](char* into, size_t n) -> long long {
    for (;;) {
      ssize_t got = ::read(fd, into, n);
      if (got >= 0) return got;
      if (errno != EINTR) {
        failure = errno;
        return -1;
      }
    }
  });
  ::close(fd);
  if (!read) error = posixError("Cannot read file", path, failure);
  return read;
}

bool AppendFile::open(const std::string& path, std::string& error) {
  close();
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = posixError("Cannot open", path, errno);
    return false;
  }
  handle_ = fd;
  path_ = path;
  return true;
}

bool AppendFile::tail(unsigned long long& size, char& lastByte, std::string& error) {
  struct stat info;
  if (::fstat(static_cast<int>(handle_), &info) != 0) {
    error = posixError("Cannot read the size of", path_, errno);
    return false;
  }
  size = static_cast<unsigned long long>(info.st_size);
  if (size == 0) return true;
  if (::pread(static_cast<int>(handle_), &lastByte, 1, info.st_size - 1) != 1) {
    error = posixError("Cannot read", path_, errno);
    return false;
  }
  return true;
}

bool AppendFile::append(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    // A short write to a regular file is rare (a full disk); the rest then follows in a
    // second write rather than being lost.
    ssize_t n = ::write(static_cast<int>(handle_), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = posixError("Cannot write", path_, errno);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AppendFile::flush(std::string& error) {
  if (::fdatasync(static_cast<int>(handle_)) != 0) {
    error = posixError("Cannot flush", path_, errno);
    return false;
  }
  return true;
}

void AppendFile::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

namespace detail {

std::string displayPath(const std::string& path) {
  return path;
}

bool createTempBeside(const std::string& target, TempFile& temp, std::string& error) {
  std::string name = target + ".tmp-XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = posixError("Cannot create a temporary file beside", target, errno);
    return false;
  }
  // mkstemp makes the file private (0600); the replacement keeps the old file's mode.
  struct stat old;
  mode_t mode =
      ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);
  temp.name = name;
  temp.handle = fd;
  return true;
}

bool writeChunk(TempFile& temp, const char* data, size_t size, std::string& error) {
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(temp.handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = posixError("Cannot write", temp.name, errno);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool flushAndClose(TempFile& temp, std::string& error) {
  int fd = static_cast<int>(temp.handle);
  temp.handle = -1;
  if (::fsync(fd) != 0) {
    error = posixError("Cannot flush", temp.name, errno);
    ::close(fd);
    return false;
  }
  if (::close(fd) != 0) {
    error = posixError("Cannot close", temp.name, errno);
    return false;
  }
  return true;
}

bool moveOver(TempFile& temp, const std::string& target, std::string& error) {
  if (::rename(temp.name.c_str(), target.c_str()) != 0) {
    error = posixError("Cannot replace", target, errno);
    return false;
  }
  temp.name.clear();
  // Makes the rename itself durable; the data is safe either way, so a failure here
  // is not reported.
  int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void discard(TempFile& temp) {
  if (temp.handle >= 0) ::close(static_cast<int>(temp.handle));
  temp.handle = -1;
  if (!temp.name.empty()) ::unlink(temp.name.c_str());
  temp.name.clear();
}

}  // namespace detail
}  // namespace tallymark::platform
