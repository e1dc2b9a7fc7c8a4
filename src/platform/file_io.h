// Whole-file reads and crash-safe whole-file replacement.
//
// Paths are UTF-8 on Windows (widened to UTF-16 for the system, so that no name depends
// on a code page; the host's 8-bit profile name is converted once, where it arrives),
// plain bytes on Linux. Error texts are UTF-8, ready for a message box, and name the
// file.
#pragma once

#include <functional>
#include <string>

#include "platform/unique_any.h"

namespace tallymark::platform {

namespace detail {
// An open file: a file descriptor or a HANDLE, stored as an integer so that this header
// stays free of system types; -1 is "nothing open". close() is the platform's.
struct FileHandleTraits {
  using Type = long long;
  static constexpr long long invalid() noexcept { return -1; }
  static constexpr bool isValid(long long handle) noexcept { return handle != -1; }
  static void close(long long handle) noexcept;
};
using FileHandle = UniqueAny<FileHandleTraits>;
}  // namespace detail

// `path` made absolute against the working folder as it is now; an empty path stays
// empty. Nothing is looked up on the disk.
std::string absolutePath(const std::string& path);

// True when `path` names an existing folder.
bool isFolder(const std::string& path);

// Reads the whole file into `contents`. On failure returns false and describes why in
// `error`; `contents` is then unspecified.
bool readWholeFile(const std::string& path, std::string& contents, std::string& error);

// Replaces the file's contents with `contents` so that a reader (or a crash) sees either
// the complete old file or the complete new one, never a mixture or an empty file: the
// data goes to a temporary file in the same folder, is flushed to the disk, and then
// takes the target's place in one rename. On any failure the target is untouched, the
// temporary file is removed, and `error` says what failed.
//
// `faults`, when not empty, is called before each step; a non-empty result makes that
// step fail with the result as its error text, as if the system had refused it.
enum class FileStep { CreateTemp, Write, Flush, Replace };  // in order; Write per chunk
using FileFaultHook = std::function<std::string(FileStep)>;
bool replaceFileAtomically(const std::string& path, const std::string& contents, std::string& error,
                           const FileFaultHook& faults = nullptr);

// The size of the chunks in which replaceFileAtomically writes.
inline constexpr size_t kFileWriteChunk = 64 * 1024;

// What kept a file operation from succeeding, in the words an operator needs.
enum class FileFault {
  None,
  InUse,     // another program holds the file and lets nobody else write it
  Denied,    // no permission, or a read-only file or medium
  NoFolder,  // the folder is missing and could not be made
  IsFolder,  // the path names a folder
  Full,      // the disk is full
  Other,
};

// A file opened for appending, for a log that several processes may share. Every write
// lands at the file's end at the moment of writing, so one append(), holding whole
// lines, is never interleaved with another process's appends. Paths and error texts as
// above. One thread at a time. Virtual so that tests can stand in a disk that fails,
// comes back, hangs or stops dead in the middle of a write.
class AppendFile {
 public:
  AppendFile() = default;
  virtual ~AppendFile() { AppendFile::close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path`, creating an empty file when there is none, and its folder too when
  // that is missing; closes any file open before.
  virtual bool open(const std::string& path, std::string& error);
  // The open file's size, and its last `want` bytes (all of it when it is shorter).
  virtual bool tail(size_t want, unsigned long long& size, std::string& last, std::string& error);
  // Appends `size` bytes in one write.
  virtual bool append(const char* data, size_t size, std::string& error);
  // Makes the appended data durable (on Windows every write already goes through).
  virtual bool flush(std::string& error);
  virtual void close();

  // Whole files by name, whether or not one is open. A missing file reads as empty
  // and is removed without complaint; replace() is replaceFileAtomically().
  virtual bool read(const std::string& path, std::string& contents, std::string& error);
  virtual bool replace(const std::string& path, const std::string& contents, std::string& error);
  virtual bool remove(const std::string& path, std::string& error);

  // Why the last call that failed did.
  FileFault fault() const { return fault_; }

 protected:
  FileFault fault_ = FileFault::None;

 private:
  detail::FileHandle handle_;
  std::string path_;
};

namespace detail {
// One platform's primitives for replaceFileAtomically.
struct TempFile {
  std::string name;  // same encoding as the paths
  FileHandle handle;
};
bool createTempBeside(const std::string& target, TempFile& temp, std::string& error);
bool writeChunk(TempFile& temp, const char* data, size_t size, std::string& error);
// Flushes the data to the disk and closes the handle.
bool flushAndClose(TempFile& temp, std::string& error);
bool moveOver(TempFile& temp, const std::string& target, std::string& error);
// Closes the handle if still open and deletes the temporary file; never fails.
void discard(TempFile& temp);
// Reads to the end into `contents`, which is sized first for `expected` bytes (the
// file's size as the system gave it, 0 if unknown) so that a file is read straight into
// its place, without regrowing. `read` reads at most `n` bytes into `into` and gives how
// many it read, 0 at the end and a negative number on an error (then readAll stops and
// returns false).
using ReadSome = std::function<long long(char* into, size_t n)>;
bool readAll(std::string& contents, unsigned long long expected, const ReadSome& read);
// `path` as UTF-8 for error texts.
std::string displayPath(const std::string& path);
}  // namespace detail

}  // namespace tallymark::platform
