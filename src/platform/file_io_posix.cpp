#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_io.h"
#include "platform/unique_fd_posix.h"

namespace tallymark::platform {
namespace {

// The one place where errno becomes text.
std::string posixError(const char* what, const std::string& path, int code) {
  return std::string(what) + " '" + path + "': " + std::strerror(code);
}

FileFault faultOf(int code) {
  switch (code) {
    case EACCES:
    case EPERM:
    case EROFS:
      return FileFault::Denied;
    case ENOENT:
    case ENOTDIR:
      return FileFault::NoFolder;
    case EISDIR:
      return FileFault::IsFolder;
    case ENOSPC:
    case EDQUOT:
      return FileFault::Full;
    case ETXTBSY:
    case EBUSY:
      return FileFault::InUse;
    default:
      return FileFault::Other;
  }
}

// Makes `folder` and the folders above it that are missing.
void makeFolders(const std::string& folder) {
  if (folder.empty() || folder == "/" || folder == ".") return;
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0) return;
  const size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) makeFolders(folder.substr(0, slash));
  ::mkdir(folder.c_str(), 0755);
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int fdOf(const detail::FileHandle& handle) {
  return static_cast<int>(handle.get());
}

}  // namespace

void detail::FileHandleTraits::close(long long handle) noexcept {
  FdTraits::close(static_cast<int>(handle));
}

std::string absolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char here[4096];
  if (::getcwd(here, sizeof here) == nullptr) return path;
  const std::string folder = here;
  return folder + (folder.back() == '/' ? "" : "/") + path;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool readWholeFile(const std::string& path, std::string& contents, std::string& error) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    error = posixError("Cannot open file", path, errno);
    return false;
  }
  struct stat info;
  unsigned long long size = ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)
                                ? static_cast<unsigned long long>(info.st_size)
                                : 0;
  int failure = 0;
  bool read = detail::readAll(contents, size, [&](char* into, size_t n) -> long long {
    for (;;) {
      ssize_t got = ::read(fd.get(), into, n);
      if (got >= 0) return got;
      if (errno != EINTR) {
        failure = errno;
        return -1;
      }
    }
  });
  if (!read) error = posixError("Cannot read file", path, failure);
  return read;
}

bool AppendFile::open(const std::string& path, std::string& error) {
  close();
  const int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0 && errno == ENOENT) {
    makeFolders(folderOf(path));
    fd = ::open(path.c_str(), flags, 0644);
  }
  if (fd < 0) {
    fault_ = faultOf(errno);
    error = posixError("Cannot open", path, errno);
    return false;
  }
  handle_.reset(fd);
  path_ = path;
  return true;
}

bool AppendFile::tail(size_t want, unsigned long long& size, std::string& last,
                      std::string& error) {
  struct stat info;
  if (::fstat(fdOf(handle_), &info) != 0) {
    fault_ = faultOf(errno);
    error = posixError("Cannot read the size of", path_, errno);
    return false;
  }
  size = static_cast<unsigned long long>(info.st_size);
  const size_t n = size < want ? static_cast<size_t>(size) : want;
  last.resize(n);
  size_t got = 0;
  while (got < n) {
    const ssize_t r =
        ::pread(fdOf(handle_), last.data() + got, n - got, static_cast<off_t>(size - n + got));
    if (r <= 0) {
      if (r < 0 && errno == EINTR) continue;
      fault_ = r < 0 ? faultOf(errno) : FileFault::Other;
      error = posixError("Cannot read", path_, r < 0 ? errno : EIO);
      return false;
    }
    got += static_cast<size_t>(r);
  }
  return true;
}

bool AppendFile::append(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    // A short write to a regular file is rare (a full disk); the rest then follows in a
    // second write rather than being lost.
    ssize_t n = ::write(fdOf(handle_), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fault_ = faultOf(errno);
      error = posixError("Cannot write", path_, errno);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool AppendFile::flush(std::string& error) {
  if (::fdatasync(fdOf(handle_)) != 0) {
    fault_ = faultOf(errno);
    error = posixError("Cannot flush", path_, errno);
    return false;
  }
  return true;
}

void AppendFile::close() {
  handle_.reset();
}

bool AppendFile::read(const std::string& path, std::string& contents, std::string& error) {
  contents.clear();
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) return true;
  if (readWholeFile(path, contents, error)) return true;
  fault_ = faultOf(errno);
  return false;
}

bool AppendFile::replace(const std::string& path, const std::string& contents, std::string& error) {
  if (replaceFileAtomically(path, contents, error)) return true;
  fault_ = faultOf(errno);
  return false;
}

bool AppendFile::remove(const std::string& path, std::string& error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return true;
  fault_ = faultOf(errno);
  error = posixError("Cannot remove", path, errno);
  return false;
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
  temp.handle.reset(fd);
  return true;
}

bool writeChunk(TempFile& temp, const char* data, size_t size, std::string& error) {
  while (size > 0) {
    ssize_t n = ::write(fdOf(temp.handle), data, size);
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
  if (::fsync(fdOf(temp.handle)) != 0) {
    error = posixError("Cannot flush", temp.name, errno);
    temp.handle.reset();
    return false;
  }
  // Closed here rather than by the owner: on some file systems (NFS) this is where a
  // failed write shows.
  if (::close(static_cast<int>(temp.handle.release())) != 0) {
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
  const UniqueFd dir(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
  return true;
}

void discard(TempFile& temp) {
  temp.handle.reset();
  if (!temp.name.empty()) ::unlink(temp.name.c_str());
  temp.name.clear();
}

}  // namespace detail
}  // namespace tallymark::platform
