// XMLNetProfile on real files: encodings, unreadable files, the round trip of a
// host-sized profile, and saves that fail part-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "settings/xml_net_profile.h"
#include "test_files.h"

namespace {

using tallymark::platform::FileStep;

bool isAscii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string utf16le(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

// A host profile of several hundred elements: declaration, comments, attributes,
// non-ASCII text, in the loose layout a hand-edited file has.
std::string realisticProfile() {
  std::string x = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Profile for a mill -->\n";
  x += "<profile>\n";
  const char* axes[] = {"X", "Y", "Z", "A", "B", "C"};
  for (int s = 0; s < 24; ++s) {
    x += "  <Section" + std::to_string(s) + " kind=\"s&quot;" + std::to_string(s) + "\">\n";
    if (s % 5 == 0) x += "\t<!-- section " + std::to_string(s) + " -->\n";
    for (int k = 0; k < 20; ++k) {
      std::string key = "Key" + std::to_string(k);
      x += "\t\t<" + key + ">";
      switch (k % 6) {
        case 0: x += std::to_string(k * s - 50); break;
        case 1: x += "True"; break;
        case 2: x += "1,234.5" + std::to_string(k); break;
        case 3: x += "\xC4\x90\xE1\xBA\xBF\x6D s\xE1\xBA\xA3n ph\xE1\xBA\xA9m \xC2\xB5m"; break;
        case 4: x += "C:\\Mach3\\macros &amp; &lt;more&gt;"; break;
        default: x += ""; break;
      }
      x += "</" + key + ">\n";
    }
    x += "    <Axes>";
    for (const char* a : axes) {
      x += "<" + std::string(a) + " steps=\"2000\" dir=\"\xC2\xB1\">" + a + "</" + a + ">";
    }
    x += "</Axes>\n  </Section" + std::to_string(s) + ">\n";
  }
  x += "  <PlugIns><Other_v2>1</Other_v2></PlugIns>\n";
  x += "  <Dazada_Ruvazidu><CamType>1</CamType><IPCamPath>rtsp://cam/\xC3\xA9</IPCamPath>"
       "</Dazada_Ruvazidu>\n</profile>\n<!-- end -->\n";
  return x;
}

// Element by element, attribute by attribute, text by text.
void expectSameTree(pugi::xml_node a, pugi::xml_node b, const std::string& where) {
  ASSERT_EQ(a.type(), b.type()) << where;
  ASSERT_STREQ(a.name(), b.name()) << where;
  ASSERT_STREQ(a.value(), b.value()) << where;
  pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute();
  for (; x && y; x = x.next_attribute(), y = y.next_attribute()) {
    ASSERT_STREQ(x.name(), y.name()) << where;
    ASSERT_STREQ(x.value(), y.value()) << where << "@" << x.name();
  }
  ASSERT_EQ(!x, !y) << where << ": attribute count";
  pugi::xml_node c = a.first_child(), d = b.first_child();
  for (; c && d; c = c.next_sibling(), d = d.next_sibling()) {
    expectSameTree(c, d, where + "/" + c.name());
  }
  ASSERT_EQ(!c, !d) << where << ": child count";
}

TEST(ProfileFile, RealisticProfileSurvivesLoadAndSaveUnchanged) {
  TempFolder folder;
  std::string path = folder.file("Mach3Mill.xml");
  writeFile(path, realisticProfile());
  MessageCatcher boxes;

  XMLNetProfile first(path, "Dazada_Ruvazidu", true);
  ASSERT_TRUE(first.Load());
  ASSERT_GT(std::distance(first.document().document_element().begin(),
                          first.document().document_element().end()),
            20);
  ASSERT_TRUE(first.Save());
  std::string saved = readFile(path);
  EXPECT_TRUE(isAscii(saved));
  EXPECT_EQ(first.ReadString("IPCamPath"), "rtsp://cam/\xC3\xA9");

  XMLNetProfile second(path, "Section3", true);
  ASSERT_TRUE(second.Load());
  expectSameTree(first.document(), second.document(), "");
  EXPECT_EQ(second.ReadString("Key3"), "\xC4\x90\xE1\xBA\xBFm s\xE1\xBA\xA3n ph\xE1\xBA\xA9m \xC2\xB5m");
  EXPECT_EQ(second.ReadDouble("Key2"), 1234.52);
  ASSERT_TRUE(second.Save());
  EXPECT_EQ(readFile(path), saved) << "the second save must be byte-identical";
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(folder.entries().size(), 1u) << "no temporary file left behind";
}

TEST(ProfileFile, Utf16AndLatin1FilesLoadWithTheirCharacters) {
  TempFolder folder;
  MessageCatcher boxes;
  std::string path = folder.file("p.xml");

  writeFile(path, utf16le(u"<?xml version=\"1.0\" encoding=\"utf-16\"?><r><S><T>\u0110\u1ebf "
                          u"\U0001F600</T></S></r>"));
  XMLNetProfile wide(path, "S", true);
  ASSERT_TRUE(wide.Load());
  EXPECT_EQ(wide.ReadString("T"), "\xC4\x90\xE1\xBA\xBF \xF0\x9F\x98\x80");
  ASSERT_TRUE(wide.Save());
  EXPECT_EQ(readFile(path),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r>\r\n  <S>\r\n"
            "    <T>&#272;&#7871; &#128512;</T>\r\n  </S>\r\n</r>\r\n");

  writeFile(path, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><S><T>caf\xE9 \xB5</T></S></r>");
  XMLNetProfile latin(path, "S", true);
  ASSERT_TRUE(latin.Load());
  EXPECT_EQ(latin.ReadString("T"), "caf\xC3\xA9 \xC2\xB5");
  ASSERT_TRUE(latin.Save());
  EXPECT_NE(readFile(path).find("encoding=\"ISO-8859-1\""), std::string::npos);
  EXPECT_NE(readFile(path).find("<T>caf&#233; &#181;</T>"), std::string::npos);

  // An 8-bit file without a declaration is not valid UTF-8; each stray byte is kept as
  // the Latin-1 character of its value rather than dropped.
  writeFile(path, "<r><S><T>caf\xE9</T></S></r>");
  XMLNetProfile undeclared(path, "S", true);
  ASSERT_TRUE(undeclared.Load());
  EXPECT_EQ(undeclared.ReadString("T"), "caf\xC3\xA9") << "reads hand out UTF-8 at once";
  ASSERT_TRUE(undeclared.Save());
  XMLNetProfile reread(path, "S", true);
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.ReadString("T"), "caf\xC3\xA9");
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(ProfileFile, UnreadableOrMalformedFilesAreReportedAndLeaveNoTree) {
  TempFolder folder;
  MessageCatcher boxes;
  std::string broken = folder.file("broken.xml");
  writeFile(broken, "<profile><S><A>1</A></S><S>");
  std::string outside = folder.file("outside.xml");
  writeFile(outside, "<![CDATA[x]]><profile/>");
  std::string garbled = folder.file("garbled.xml");
  writeFile(garbled, "<?xml version=\"1.0\" xencoding=\"ISO-8859-1\"?><profile/>");
  std::filesystem::create_directory(folder.file("adir.xml"));
  const std::string cases[] = {broken, outside, garbled, folder.file("missing.xml"),
                               folder.file("adir.xml"), folder.file("empty.xml")};
  writeFile(folder.file("empty.xml"), "");
  for (const std::string& path : cases) {
    boxes.shown.clear();
    XMLNetProfile p(path, "S", true);
    p.LoadFromBytes("<profile><S><A>5</A></S></profile>");
    EXPECT_FALSE(p.Load()) << path;
    ASSERT_EQ(boxes.shown.size(), 1u) << path;
    EXPECT_EQ(boxes.shown[0].caption, "XMLNetProfile");
    EXPECT_EQ(boxes.shown[0].text.rfind("Warning - ", 0), 0u) << boxes.shown[0].text;
    EXPECT_GT(boxes.shown[0].text.size(), 12u) << "a reason follows";
    EXPECT_FALSE(p.document().first_child()) << "nothing of the old or partial tree stays";
    EXPECT_EQ(p.ReadInt("A", 9), 9);
  }
  EXPECT_EQ(readFile(broken), "<profile><S><A>1</A></S><S>") << "a failed load writes nothing";
}

// The size the system gives is only a hint: a file may grow or shrink while it is read,
// and some files (pipes, /proc) have none. Every byte arrives whatever the hint.
TEST(ProfileFile, AWholeFileIsReadWhateverItsSizeHintSays) {
  std::string source;
  for (int i = 0; i < 70000; ++i) source += static_cast<char>('a' + i % 26);
  for (unsigned long long hint : {0ull, 1ull, 1000ull, 70000ull, 500000ull, 1ull << 40}) {
    size_t at = 0;
    std::string contents = "stale";
    ASSERT_TRUE(tallymark::platform::detail::readAll(contents, hint, [&](char* into, size_t n) {
      size_t piece = std::min({n, source.size() - at, size_t{4093}});
      std::copy_n(source.data() + at, piece, into);
      at += piece;
      return static_cast<long long>(piece);
    }));
    EXPECT_EQ(contents, source) << "hint " << hint;
  }
  std::string contents;
  int calls = 0;
  EXPECT_FALSE(tallymark::platform::detail::readAll(contents, 10, [&](char* into, size_t) {
    *into = 'x';
    return ++calls < 3 ? 1ll : -1ll;
  })) << "a read error stops the read";
}

class FailingSave : public ::testing::Test {
 protected:
  void SetUp() override {
    path = folder.file("Mach3Mill.xml");
    original = realisticProfile();
    writeFile(path, original);
    ASSERT_TRUE(profile.Load());
    // Big enough for several write chunks.
    for (int i = 0; i < 3000; ++i) profile.WriteString("Big" + std::to_string(i), std::string(40, 'x'));
    ASSERT_GT(profile.SaveToBytes().size(), 2 * tallymark::platform::kFileWriteChunk);
  }
  void TearDown() override { tallymark::platform::setFileFaultHook(nullptr); }

  // Makes the `nth` occurrence (from 1) of `step` fail with `error`.
  void failAt(FileStep step, int nth, std::string error) {
    auto count = std::make_shared<int>(0);
    tallymark::platform::setFileFaultHook([=](FileStep s) {
      return s == step && ++*count == nth ? error : std::string();
    });
  }

  void expectUntouched() {
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"Mach3Mill.xml"})
        << "the temporary file is removed";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "XMLNetProfile");
  }

  TempFolder folder;
  MessageCatcher boxes;
  std::string path;
  std::string original;
  XMLNetProfile profile{folder.file("Mach3Mill.xml"), "Dazada_Ruvazidu", true};
};

TEST_F(FailingSave, DiskFullHalfWayKeepsTheOldProfile) {
  failAt(FileStep::Write, 2, "No space left on device");
  EXPECT_FALSE(profile.Save());
  expectUntouched();
  EXPECT_EQ(boxes.shown[0].text, "Warning - No space left on device");
}

TEST_F(FailingSave, UnwritableFolderFlushOrRenameFailureKeepsTheOldProfile) {
  for (FileStep step : {FileStep::CreateTemp, FileStep::Flush, FileStep::Replace}) {
    boxes.shown.clear();
    failAt(step, 1, "Access is denied");
    EXPECT_FALSE(profile.Save());
    expectUntouched();
  }
  tallymark::platform::setFileFaultHook(nullptr);
  boxes.shown.clear();
  EXPECT_TRUE(profile.Save()) << "the same profile saves once the fault is gone";
  EXPECT_TRUE(boxes.shown.empty());
  XMLNetProfile check(path, "Dazada_Ruvazidu", true);
  ASSERT_TRUE(check.Load());
  EXPECT_EQ(check.ReadString("Big2999"), std::string(40, 'x'));
}

TEST_F(FailingSave, AFailureAtAnyStepOfTheSaveKeepsTheOldProfileByteForByte) {
  // The steps of this save, recorded by failing its last one (the rename).
  auto steps = std::make_shared<std::vector<FileStep>>();
  tallymark::platform::setFileFaultHook([steps](FileStep s) {
    steps->push_back(s);
    return s == FileStep::Replace ? std::string("recording") : std::string();
  });
  EXPECT_FALSE(profile.Save());
  size_t chunks = std::count(steps->begin(), steps->end(), FileStep::Write);
  ASSERT_GE(chunks, 3u);
  ASSERT_EQ(steps->size(), chunks + 3) << "one temporary file, the chunks, a flush, a rename";
  ASSERT_EQ(steps->front(), FileStep::CreateTemp);
  ASSERT_EQ(steps->back(), FileStep::Replace);

  for (size_t failing = 0; failing < steps->size(); ++failing) {
    SCOPED_TRACE("failing step " + std::to_string(failing));
    boxes.shown.clear();
    auto seen = std::make_shared<size_t>(0);
    tallymark::platform::setFileFaultHook([seen, failing](FileStep) {
      return (*seen)++ == failing ? std::string("Injected fault") : std::string();
    });
    EXPECT_FALSE(profile.Save());
    EXPECT_EQ(*seen, failing + 1) << "nothing is tried after the failing step";
    expectUntouched();
    EXPECT_EQ(boxes.shown[0].text, "Warning - Injected fault");
  }
  tallymark::platform::setFileFaultHook(nullptr);
  EXPECT_TRUE(profile.Save());
  EXPECT_NE(readFile(path), original);
}

TEST_F(FailingSave, ADirectoryInTheFilesPlaceOrAMissingFolderFailsCleanly) {
  std::string dirPath = folder.file("adir.xml");
  std::filesystem::create_directory(dirPath);
  writeFile(folder.file("adir.xml/inside.txt"), "keep");
  XMLNetProfile onDir(dirPath, "S", true);
  onDir.WriteInt("K", 1);
  EXPECT_FALSE(onDir.Save());
  EXPECT_EQ(readFile(folder.file("adir.xml/inside.txt")), "keep");
  EXPECT_EQ(folder.entries().size(), 2u) << "no temporary file left";

  XMLNetProfile nowhere(folder.file("no/such/folder.xml"), "S", true);
  nowhere.WriteInt("K", 1);
  EXPECT_FALSE(nowhere.Save());
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text.rfind("Warning - ", 0), 0u);
  EXPECT_EQ(readFile(path), original);
}

}  // namespace
