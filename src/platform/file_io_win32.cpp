#include <windows.h>

#include <atomic>
#include <string>

#include "platform/file_io.h"
#include "platform/win32_text.h"

namespace tallymark::platform {
namespace {

// Narrow paths are decoded the way the system's own ...A file functions decode them:
// the ANSI code page, or the OEM one after SetFileApisToOEM.
std::wstring widePath(const std::string& path) {
  if (path.empty()) return {};
  UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  int n = MultiByteToWideChar(codePage, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, path.data(), static_cast<int>(path.size()), out.data(), n);
  return out;
}

// The one place where a Win32 error code becomes text.
std::string systemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring message = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
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

HANDLE asHandle(long long handle) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& contents, std::string& error) {
  HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = windowsError("Cannot open file", path, GetLastError());
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) size.QuadPart = 0;
  DWORD failure = 0;
  bool read = detail::readAll(contents, static_cast<unsigned long long>(size.QuadPart),
                              [&](char* into, size_t n) -> long long {
                                DWORD got = 0;
                                DWORD wanted = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
                                if (!ReadFile(file, into, wanted, &got, nullptr)) {
                                  failure = GetLastError();
                                  return -1;
                                }
                                return got;
                              });
  CloseHandle(file);
  if (!read) error = windowsError("Cannot read file", path, failure);
  return read;
}

bool AppendFile::open(const std::string& path, std::string& error) {
  close();
  // Append access without write access makes every write go to the end of the file,
  // atomically with respect to other writers. Write-through instead of a flush: a flush
  // needs write access, which would give that up.
  HANDLE file = CreateFileW(widePath(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = windowsError("Cannot open", path, GetLastError());
    return false;
  }
  handle_ = static_cast<long long>(reinterpret_cast<intptr_t>(file));
  path_ = path;
  return true;
}

bool AppendFile::tail(unsigned long long& size, char& lastByte, std::string& error) {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(asHandle(handle_), &length)) {
    error = windowsError("Cannot read the size of", path_, GetLastError());
    return false;
  }
  size = static_cast<unsigned long long>(length.QuadPart);
  if (size == 0) return true;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>((size - 1) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
  DWORD got = 0;
  if (!ReadFile(asHandle(handle_), &lastByte, 1, &got, &at) || got != 1) {
    error = windowsError("Cannot read", path_, GetLastError());
    return false;
  }
  return true;
}

bool AppendFile::append(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    DWORD n = 0;
    if (!WriteFile(asHandle(handle_), data, static_cast<DWORD>(size), &n, nullptr)) {
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
  if (handle_ != -1) CloseHandle(asHandle(handle_));
  handle_ = -1;
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
      temp.handle = static_cast<long long>(reinterpret_cast<intptr_t>(file));
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
  HANDLE file = asHandle(temp.handle);
  temp.handle = -1;
  if (!FlushFileBuffers(file)) {
    error = "Cannot flush '" + temp.name + "': " + systemMessage(GetLastError());
    CloseHandle(file);
    return false;
  }
  CloseHandle(file);
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
  if (temp.handle != -1) CloseHandle(asHandle(temp.handle));
  temp.handle = -1;
  if (!temp.name.empty()) DeleteFileW(widen(temp.name).c_str());
  temp.name.clear();
}

}  // namespace detail
}  // namespace tallymark::platform
