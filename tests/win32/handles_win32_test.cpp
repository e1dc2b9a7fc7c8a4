// The owners of Windows handles and GDI objects, and the files that hold handles through
// them: each closes exactly what it owns, once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/gdi_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/win32_text.h"

namespace {

using namespace tallymark::platform;

bool isOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

UniqueHandle newEvent() {
  return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

UniqueHfont newFont(int height) {
  return UniqueHfont(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
}

// A private folder under the temporary folder, removed afterwards.
class Folder {
 public:
  Folder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = narrow(base) + "tallymark_handles_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(widen(path_).c_str(), nullptr);
  }
  ~Folder() {
    for (const std::string& name : entries()) DeleteFileW(widen(file(name)).c_str());
    RemoveDirectoryW(widen(path_ + "\\sub\\inside").c_str());
    RemoveDirectoryW(widen(path_ + "\\sub").c_str());
    RemoveDirectoryW(widen(path_).c_str());
  }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widen(path_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(narrow(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

 private:
  std::string path_;
};

// Nobody else holds `path` open: it opens without sharing anything.
bool openedByNobody(const std::string& path) {
  return static_cast<bool>(
      UniqueHandle(CreateFileW(widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)));
}

TEST(UniqueHandleTest, ResetAndDestructionCloseAndAMovedFromOwnerHoldsNothing) {
  HANDLE first = nullptr;
  HANDLE second = nullptr;
  {
    UniqueHandle event = newEvent();
    ASSERT_TRUE(event);
    first = event.get();
    UniqueHandle other = newEvent();
    second = other.get();
    event = std::move(other);  // the first event is given up
    EXPECT_FALSE(isOpenHandle(first));
    EXPECT_EQ(other.get(), nullptr);  // NOLINT(bugprone-use-after-move): the contract under test
    EXPECT_TRUE(isOpenHandle(second));
    other.reset();
    EXPECT_TRUE(isOpenHandle(second));
  }
  EXPECT_FALSE(isOpenHandle(second));
}

TEST(UniqueHandleTest, BothFailureValuesMeanNothingHeld) {
  const UniqueHandle missing(CreateFileW(L"Z:\\nonexistent\\tallymark\\none", GENERIC_READ, 0,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(missing);
  EXPECT_FALSE(UniqueHandle());
}

TEST(GdiOwnerTest, DeletesTheObjectsAndContextsItOwns) {
  HFONT old = nullptr;
  HDC oldDc = nullptr;
  {
    UniqueHfont font = newFont(-12);
    ASSERT_TRUE(font);
    old = font.get();
    font = newFont(-14);
    EXPECT_EQ(GetObjectType(old), 0u) << "the replaced font is deleted";
    old = font.get();
    EXPECT_EQ(GetObjectType(old), static_cast<DWORD>(OBJ_FONT));

    UniqueHdc memory(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(memory);
    oldDc = memory.get();
    UniqueHdc taken(std::move(memory));
    EXPECT_FALSE(memory);  // NOLINT(bugprone-use-after-move)
    EXPECT_NE(GetObjectType(oldDc), 0u);
  }
  EXPECT_EQ(GetObjectType(old), 0u);
  EXPECT_EQ(GetObjectType(oldDc), 0u);
}

TEST(GdiOwnerTest, SelectionsUnwindToTheOriginalObjectsBeforeTheirOwnersDelete) {
  const UniqueHdc memory(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(memory);
  const HDC dc = memory.get();
  const HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
  HFONT outer = nullptr;
  {
    const UniqueHfont first = newFont(-12);
    const UniqueHfont second = newFont(-20);
    outer = first.get();
    const ScopedSelection one(dc, first.get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), first.get());
    {
      const ScopedSelection two(dc, second.get());
      EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), second.get());
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), first.get());
    const ScopedSelection nothing(dc, nullptr);  // selects nothing, restores nothing
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), original);
  EXPECT_EQ(GetObjectType(outer), 0u) << "deselected first, so the delete took";
}

TEST(GdiOwnerTest, WindowDcMovesItsOneRelease) {
  WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  WindowDc moved(std::move(screen));
  EXPECT_FALSE(screen);  // NOLINT(bugprone-use-after-move)
  EXPECT_GT(GetDeviceCaps(moved.get(), LOGPIXELSY), 0);
  screen = std::move(moved);
  EXPECT_TRUE(screen);
  screen.reset();
  EXPECT_FALSE(screen);
}

TEST(FileHandleTest, ReopeningAndFailedReplacementsLeaveNoHandleBehind) {
  Folder folder;
  std::string error;
  {
    AppendFile log;
    ASSERT_TRUE(log.open(folder.file("a.csv"), error)) << error;
    EXPECT_FALSE(openedByNobody(folder.file("a.csv")));
    ASSERT_TRUE(log.open(folder.file("b.csv"), error)) << error;
    EXPECT_TRUE(openedByNobody(folder.file("a.csv"))) << "the first file is closed";
    EXPECT_FALSE(openedByNobody(folder.file("b.csv")));
  }
  EXPECT_TRUE(openedByNobody(folder.file("b.csv")));

  // The rename over a folder fails once the data is written and flushed: the temporary
  // file, held without sharing, can only be removed once its handle is closed.
  const std::string sub = folder.file("sub");
  ASSERT_TRUE(CreateDirectoryW(widen(sub).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(widen(sub + "\\inside").c_str(), nullptr));
  EXPECT_FALSE(replaceFileAtomically(sub, "data", error));
  EXPECT_EQ(folder.entries().size(), 3u) << "a.csv, b.csv, sub and nothing else";

  ASSERT_TRUE(replaceFileAtomically(folder.file("c.xml"), "ok", error)) << error;
  EXPECT_TRUE(openedByNobody(folder.file("c.xml")));
  std::string contents;
  ASSERT_TRUE(readWholeFile(folder.file("c.xml"), contents, error)) << error;
  EXPECT_EQ(contents, "ok");
  EXPECT_TRUE(openedByNobody(folder.file("c.xml")));
}

}  // namespace
