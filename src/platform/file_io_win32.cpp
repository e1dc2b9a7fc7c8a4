#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "platform/file_io.h"
#include "platform/unique_handle_win32.h"
#include "platform/win32_text.h"

namespace tallymark::platform {
namespace {

std::wstring widePath(const std::string& path) {
  return widen(path);
}

// The one place where a Win32 error code becomes text.
std::string systemMessage(DWORD code) {
  UniqueLocal<wchar_t*> buffer;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring message = n > 0 && buffer ? std::wstring(buffer.get(), n) : std::wstring();
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  if (message.empty()) message = L"error " + std::to_wstring(code);
  return narrow(message);
}

std::string windowsError(const char* what, const std::string& path, DWORD code) {
  return std::string(what) + " '" + detail::displayPath(path) + "': " + systemMessage(code);
}

FileFault faultOf(DWORD code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FileFault::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileFault::Denied;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return FileFault::NoFolder;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileFault::Full;
    default:
      return FileFault::Other;
  }
}

// Makes the folder holding `file` and the folders above it that are missing.
void makeFoldersFor(const std::wstring& file) {
  const size_t slash = file.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash == 0) return;
  const std::wstring folder = file.substr(0, slash);
  if (folder.back() == L':' || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return;
  }
  makeFoldersFor(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
}

HANDLE asHandle(const detail::FileHandle& handle) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle.get()));
}

long long asInteger(HANDLE handle) {
  return static_cast<long long>(reinterpret_cast<intptr_t>(handle));
}

}  // namespace

void detail::FileHandleTraits::close(long long handle) noexcept {
  HandleTraits::close(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)));
}

std::string absolutePath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = widePath(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (length == 0 || length >= n) return path;
  full.resize(length);
  return narrow(full);
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool readWholeFile(const std::string& path, std::string& contents, std::string& error) {
  const UniqueHandle file(CreateFileW(widePath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    error = windowsError("Cannot open file", path, GetLastError());
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) size.QuadPart = 0;
  DWORD failure = 0;
  bool read = detail::readAll(contents, static_cast<unsigned long long>(size.QuadPart),
                              [&](char* into, size_t n) -> long long {
                                DWORD got = 0;
                                DWORD wanted = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
                                if (!ReadFile(file.get(), into, wanted, &got, nullptr)) {
                                  failure = GetLastError();
                                  return -1;
                                }
                                return got;
                              });
  if (!read) error = windowsError("Cannot read file", path, failure);
  return read;
}

bool AppendFile::open(const std::string& path, std::string& error) {
  close();
  // Append access without write access makes every write go to the end of the file,
  // atomically with respect to other writers. Write-through instead of a flush: a flush
  // needs write access, which would give that up.
  const std::wstring wide = widePath(path);
  auto create = [&] {
    return CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  };
  HANDLE file = create();
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    makeFoldersFor(wide);
    file = create();
  }
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    fault_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                 ? FileFault::IsFolder
                 : faultOf(code);
    error = windowsError("Cannot open", path, code);
    return false;
  }
  handle_.reset(asInteger(file));
  path_ = path;
  return true;
}

bool AppendFile::tail(size_t want, unsigned long long& size, std::string& last,
                      std::string& error) {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(asHandle(handle_), &length)) {
    fault_ = faultOf(GetLastError());
    error = windowsError("Cannot read the size of", path_, GetLastError());
    return false;
  }
  size = static_cast<unsigned long long>(length.QuadPart);
  const size_t n = size < want ? static_cast<size_t>(size) : want;
  last.resize(n);
  size_t got = 0;
  while (got < n) {
    const unsigned long long at = size - n + got;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD read = 0;
    const DWORD chunk = n - got > 0x100000 ? 0x100000 : static_cast<DWORD>(n - got);
    if (!ReadFile(asHandle(handle_), last.data() + got, chunk, &read, &where) || read == 0) {
      const DWORD code = read == 0 ? ERROR_HANDLE_EOF : GetLastError();
      fault_ = faultOf(code);
      error = windowsError("Cannot read", path_, code);
      return false;
    }
    got += read;
  }
  return true;
}

bool AppendFile::append(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    DWORD n = 0;
    if (!WriteFile(asHandle(handle_), data, static_cast<DWORD>(size), &n, nullptr)) {
      fault_ = faultOf(GetLastError());
      error = windowsError("Cannot write", path_, GetLastError());
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

bool AppendFile::flush(std::string&) {
  return true;
}

void AppendFile::close() {
  handle_.reset();
}

bool AppendFile::read(const std::string& path, std::string& contents, std::string& error) {
  contents.clear();
  if (GetFileAttributesW(widePath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
  }
  if (readWholeFile(path, contents, error)) return true;
  fault_ = faultOf(GetLastError());
  return false;
}

bool AppendFile::replace(const std::string& path, const std::string& contents, std::string& error) {
  if (replaceFileAtomically(path, contents, error)) return true;
  fault_ = faultOf(GetLastError());
  return false;
}

bool AppendFile::remove(const std::string& path, std::string& error) {
  if (DeleteFileW(widePath(path).c_str())) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
  fault_ = faultOf(code);
  error = windowsError("Cannot remove", path, code);
  return false;
}

namespace detail {

std::string displayPath(const std::string& path) {
  return narrow(widePath(path));
}

bool createTempBeside(const std::string& target, TempFile& temp, std::string& error) {
  static std::atomic<unsigned> counter{0};
  std::wstring wideTarget = widePath(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = wideTarget + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      // Unlike the paths it receives, this file keeps the temporary name in UTF-8: the
      // name never leaves it, and UTF-8 loses nothing that the ANSI code page lacks.
      temp.name = narrow(name);
      temp.handle.reset(asInteger(file));
      return true;
    }
    DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      error = windowsError("Cannot create a temporary file beside", target, code);
      return false;
    }
  }
  error = windowsError("Cannot create a temporary file beside", target, ERROR_FILE_EXISTS);
  return false;
}

bool writeChunk(TempFile& temp, const char* data, size_t size, std::string& error) {
  while (size > 0) {
    DWORD n = 0;
    if (!WriteFile(asHandle(temp.handle), data, static_cast<DWORD>(size), &n, nullptr)) {
      error = "Cannot write '" + temp.name + "': " + systemMessage(GetLastError());
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

bool flushAndClose(TempFile& temp, std::string& error) {
  const detail::FileHandle file = std::move(temp.handle);
  if (!FlushFileBuffers(asHandle(file))) {
    error = "Cannot flush '" + temp.name + "': " + systemMessage(GetLastError());
    return false;
  }
  return true;
}

bool moveOver(TempFile& temp, const std::string& target, std::string& error) {
  // Write-through: the call returns only once the rename is on the disk. The target's
  // own security descriptor is not carried over (ReplaceFileW would), which is what a
  // profile in the user's folder needs.
  if (!MoveFileExW(widen(temp.name).c_str(), widePath(target).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = windowsError("Cannot replace", target, GetLastError());
    return false;
  }
  temp.name.clear();
  return true;
}

void discard(TempFile& temp) {
  temp.handle.reset();
  if (!temp.name.empty()) DeleteFileW(widen(temp.name).c_str());
  temp.name.clear();
}

}  // namespace detail
}  // namespace tallymark::platform
