// The file descriptor owner, and the file functions that hold descriptors through it:
// every path out of them, failures included, leaves no descriptor open.
#include "platform/unique_fd_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/file_io.h"

namespace {

using tallymark::platform::AppendFile;
using tallymark::platform::UniqueFd;

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

int openNull() {
  return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

int openDescriptors() {
  int n = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++n;
    ::closedir(dir);
  }
  return n;
}

// A private folder, removed afterwards.
class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tallymark_fd_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  size_t entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                             std::filesystem::directory_iterator()));
  }

 private:
  std::string path_;
};

TEST(UniqueFdTest, ClosesOnDestructionAndOnReset) {
  int first = -1;
  int second = -1;
  {
    UniqueFd fd(openNull());
    ASSERT_TRUE(fd);
    first = fd.get();
    second = openNull();
    fd.reset(second);
    EXPECT_FALSE(isOpen(first));
    EXPECT_TRUE(isOpen(second));
  }
  EXPECT_FALSE(isOpen(second));
  EXPECT_FALSE(UniqueFd(::open("/nonexistent/tallymark", O_RDONLY)));  // -1 is "nothing"
}

// The fault a double close does: the number is given to the next open, and the second
// close then shuts someone else's file.
TEST(UniqueFdTest, AMovedFromOwnerNeverClosesTheNumberAgain) {
  UniqueFd source(openNull());
  const int number = source.get();
  {
    UniqueFd target(std::move(source));
    EXPECT_EQ(source.get(), -1);  // NOLINT(bugprone-use-after-move): the contract under test
    EXPECT_TRUE(isOpen(number));
  }
  EXPECT_FALSE(isOpen(number));
  const UniqueFd reused(openNull());
  ASSERT_EQ(reused.get(), number);  // the lowest free number comes back
  source.reset();
  source = UniqueFd();
  EXPECT_TRUE(isOpen(number));
}

TEST(FileDescriptorTest, AppendFileReopeningAndDestructionCloseTheFile) {
  Folder folder;
  const int before = openDescriptors();
  {
    AppendFile log;
    std::string error;
    ASSERT_TRUE(log.open(folder.file("a.csv"), error)) << error;
    ASSERT_TRUE(log.open(folder.file("b.csv"), error)) << error;
    ASSERT_TRUE(log.open(folder.file("b.csv"), error)) << error;
    EXPECT_EQ(openDescriptors(), before + 1);
    ASSERT_TRUE(log.append("x\n", 2, error)) << error;
    log.close();
    EXPECT_EQ(openDescriptors(), before);
    ASSERT_TRUE(log.open(folder.file("a.csv"), error)) << error;
  }
  EXPECT_EQ(openDescriptors(), before);
}

TEST(FileDescriptorTest, FailedReadsAndReplacementsLeaveNothingOpenBehind) {
  Folder folder;
  std::string contents;
  std::string error;
  const int before = openDescriptors();

  // A folder opens, and then fails to read.
  const std::string sub = folder.file("sub");
  ASSERT_TRUE(std::filesystem::create_directory(sub));
  EXPECT_FALSE(tallymark::platform::readWholeFile(sub, contents, error));
  EXPECT_EQ(openDescriptors(), before);

  // The rename over a folder that holds something fails after the data is written.
  ASSERT_TRUE(std::filesystem::create_directory(sub + "/inside"));
  EXPECT_FALSE(tallymark::platform::replaceFileAtomically(sub, "data", error));
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_EQ(folder.entries(), 1u) << "the temporary file stays behind";

  // A write that the size limit refuses (EFBIG, the signal ignored), in the first chunk.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool replaced =
      tallymark::platform::replaceFileAtomically(folder.file("big"), std::string(4096, 'x'), error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(replaced);
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_EQ(folder.entries(), 1u) << "the temporary file stays behind";

  EXPECT_TRUE(tallymark::platform::replaceFileAtomically(folder.file("big"), "ok", error)) << error;
  EXPECT_TRUE(tallymark::platform::readWholeFile(folder.file("big"), contents, error)) << error;
  EXPECT_EQ(contents, "ok");
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
