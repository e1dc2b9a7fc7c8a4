// XMLNetProfile on real files: encodings, unreadable files, the round trip of a
// host-sized profile, and saves that fail part-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
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
        case 0:
          x += std::to_string(k * s - 50);
          break;
        case 1:
          x += "True";
          break;
        case 2:
          x += "1,234.5" + std::to_string(k);
          break;
        case 3:
          x += "\xC4\x90\xE1\xBA\xBF\x6D s\xE1\xBA\xA3n ph\xE1\xBA\xA9m \xC2\xB5m";
          break;
        case 4:
          x += "C:\\Mach3\\macros &amp; &lt;more&gt;";
          break;
        default:
          x += "";
          break;
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
  first.setEnvironment(boxes.environment);
  ASSERT_TRUE(first.Load());
  ASSERT_GT(std::distance(first.document().document_element().begin(),
                          first.document().document_element().end()),
            20);
  ASSERT_TRUE(first.Save());
  std::string saved = readFile(path);
  EXPECT_TRUE(isAscii(saved));
  EXPECT_EQ(first.ReadString("IPCamPath"), "rtsp://cam/\xC3\xA9");

  XMLNetProfile second(path, "Section3", true);
  second.setEnvironment(boxes.environment);
  ASSERT_TRUE(second.Load());
  expectSameTree(first.document(), second.document(), "");
  EXPECT_EQ(second.ReadString("Key3"),
            "\xC4\x90\xE1\xBA\xBFm s\xE1\xBA\xA3n ph\xE1\xBA\xA9m \xC2\xB5m");
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
  wide.setEnvironment(boxes.environment);
  ASSERT_TRUE(wide.Load());
  EXPECT_EQ(wide.ReadString("T"), "\xC4\x90\xE1\xBA\xBF \xF0\x9F\x98\x80");
  ASSERT_TRUE(wide.Save());
  EXPECT_EQ(readFile(path),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r>\r\n  <S>\r\n"
            "    <T>&#272;&#7871; &#128512;</T>\r\n  </S>\r\n</r>\r\n");

  writeFile(path,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><S><T>caf\xE9 \xB5</T></S></r>");
  XMLNetProfile latin(path, "S", true);
  latin.setEnvironment(boxes.environment);
  ASSERT_TRUE(latin.Load());
  EXPECT_EQ(latin.ReadString("T"), "caf\xC3\xA9 \xC2\xB5");
  ASSERT_TRUE(latin.Save());
  EXPECT_NE(readFile(path).find("encoding=\"ISO-8859-1\""), std::string::npos);
  EXPECT_NE(readFile(path).find("<T>caf&#233; &#181;</T>"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
}

std::string utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

struct CodePage {
  const char* name;
  std::vector<std::pair<unsigned char, char32_t>> differences;  // from ISO-8859-1
  std::vector<unsigned char> undefined;
};

// From the code pages' published tables.
const CodePage kCodePages[] = {
    {"windows-1252",
     {{0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
      {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160},
      {0x8B, 0x2039}, {0x8C, 0x0152}, {0x8E, 0x017D}, {0x91, 0x2018}, {0x92, 0x2019},
      {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014},
      {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153},
      {0x9E, 0x017E}, {0x9F, 0x0178}},
     {0x81, 0x8D, 0x8F, 0x90, 0x9D}},
    {"windows-1258",
     {{0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
      {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8B, 0x2039},
      {0x8C, 0x0152}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D},
      {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0x02DC}, {0x99, 0x2122},
      {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9F, 0x0178}, {0xC3, 0x0102}, {0xCC, 0x0300},
      {0xD0, 0x0110}, {0xD2, 0x0309}, {0xD5, 0x01A0}, {0xDD, 0x01AF}, {0xDE, 0x0303},
      {0xE3, 0x0103}, {0xEC, 0x0301}, {0xF0, 0x0111}, {0xF2, 0x0323}, {0xF5, 0x01A1},
      {0xFD, 0x01B0}, {0xFE, 0x20AB}},
     {0x81, 0x8A, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9D, 0x9E}},
};

// Every byte the code page defines, in text, in an attribute and (a second file) in a
// comment, where references cannot stand. The Vietnamese page puts combining marks
// after letters they could be joined with (U+01AF U+0303 is not U+1EEE): the text must
// come back as the file holds it.
TEST(ProfileFile, CodePageFilesKeepEveryCharacterAndSaveTheSameBytesTwice) {
  TempFolder folder;
  MessageCatcher boxes;
  std::string path = folder.file("p.xml");
  for (const CodePage& page : kCodePages) {
    SCOPED_TRACE(page.name);
    std::string bytes;
    std::string expected;
    for (int b = 0x80; b <= 0xFF; ++b) {
      const auto byte = static_cast<unsigned char>(b);
      if (std::find(page.undefined.begin(), page.undefined.end(), byte) != page.undefined.end())
        continue;
      char32_t c = byte;
      for (const auto& [from, to] : page.differences) {
        if (from == byte) c = to;
      }
      bytes += static_cast<char>(byte);
      expected += utf8Of(c);
    }
    const std::string declaration =
        std::string("<?xml version=\"1.0\" encoding=\"") + page.name + "\"?>";
    for (bool inComment : {false, true}) {
      writeFile(path, declaration + "\r\n<r>" + (inComment ? "<!--" + bytes + "-->" : "") +
                          "<S a=\"" + bytes + "\"><T>" + bytes + "</T></S></r>");
      XMLNetProfile first(path, "S", true);
      first.setEnvironment(boxes.environment);
      ASSERT_TRUE(first.Load());
      EXPECT_EQ(first.ReadString("T"), expected);
      EXPECT_EQ(first.document().document_element().child("S").attribute("a").value(), expected);
      ASSERT_TRUE(first.Save());
      const std::string saved = readFile(path);
      if (inComment) {
        EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << saved;
        EXPECT_NE(saved.find("<!--" + expected + "-->"), std::string::npos);
      } else {
        EXPECT_TRUE(isAscii(saved));
        EXPECT_EQ(saved.rfind(declaration, 0), 0u) << "ASCII reads the same in the declared page";
      }
      XMLNetProfile second(path, "S", true);
      second.setEnvironment(boxes.environment);
      ASSERT_TRUE(second.Load());
      EXPECT_EQ(second.ReadString("T"), expected);
      ASSERT_TRUE(second.Save());
      EXPECT_EQ(readFile(path), saved) << "the second save must be byte-identical";
    }
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// Whether the declaration stays depends on the system's table: in glibc's Shift_JIS
// "\\" is the yen sign, so ASCII text written back is declared UTF-8 instead.
// Shift_JIS must be read everywhere.
TEST(ProfileFile, MultiByteFilesAreReadInTheirEncodings) {
  MessageCatcher boxes;
  const std::pair<std::string, std::string> files[] = {
      {"Shift_JIS", "\x93\xFA\x96\x7B x"},
      {"ISO-2022-JP", "\x1B$BF|K\\\x1B(B x"},
  };
  for (const auto& [encoding, bytes] : files) {
    // Wine has no ISO-2022 converter; a system without one refuses such a file.
    if (encoding != "Shift_JIS" && !tallymark::platform::decodeToUtf8("x", encoding)) continue;
    XMLNetProfile first("unused.xml", "S", true);
    first.setEnvironment(boxes.environment);
    ASSERT_TRUE(first.loadFromBytes("<?xml version=\"1.0\" encoding=\"" + encoding +
                                    "\"?><r><S><T>" + bytes + "</T></S></r>"))
        << encoding << ": " << (boxes.shown.empty() ? "" : boxes.shown.back().text);
    EXPECT_EQ(first.ReadString("T"), "\xE6\x97\xA5\xE6\x9C\xAC x") << encoding;
    const std::string saved = first.saveToBytes();
    EXPECT_NE(saved.find("<T>&#26085;&#26412; x</T>"), std::string::npos) << saved;
    XMLNetProfile second("unused.xml", "S", true);
    second.setEnvironment(boxes.environment);
    ASSERT_TRUE(second.loadFromBytes(saved));
    EXPECT_EQ(second.saveToBytes(), saved);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

// What the reader cannot give back unchanged is refused like any file that is not
// well-formed: the box, false, no tree (so the callers save nothing).
TEST(ProfileFile, TextThatCannotBeKeptExactlyIsRefused) {
  MessageCatcher boxes;
  const std::string refused[] = {
      "<r><S><T>caf\xE9</T></S></r>",  // Latin-1 bytes, no declaration
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><r><S><T>caf\xE9</T></S></r>",
      "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><r><S><T>cafe</T></S></r>",
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r><S><T>\x93</T></S></r>",
      "<?xml version=\"1.0\" encoding=\"utf/8\"?><r/>",
      "<r><S/></r><r2/>",
      "<r><S/></r><!-- c --><r/>",
      "<r><S><T>a&nbsp;b</T></S></r>",
      "<r><S><T a=\"&eacute;\"/></S></r>",
      "<!DOCTYPE r [<!ENTITY e \"x\">]><r><S>&e;</S></r>",
      "<r><S>&#xD800;</S></r>",
      "<r><S>&#x110000;</S></r>",
      "<r><S>a&#0;b</S></r>",
      "<r><S a=\"&#x000;\"/></r>",
  };
  for (const std::string& text : refused) {
    boxes.shown.clear();
    XMLNetProfile p("unused.xml", "S", true);
    p.setEnvironment(boxes.environment);
    EXPECT_FALSE(p.loadFromBytes(text)) << text;
    ASSERT_EQ(boxes.shown.size(), 1u) << text;
    EXPECT_EQ(boxes.shown[0].text.rfind("Warning - ", 0), 0u);
    EXPECT_FALSE(p.document().first_child()) << text;
  }
  boxes.shown.clear();
  // A byte order mark outranks the declaration, which is then written as UTF-8: the
  // saved file has no mark, and the name it declared may be none the system knows.
  XMLNetProfile marked("unused.xml", "S", true);
  marked.setEnvironment(boxes.environment);
  ASSERT_TRUE(marked.loadFromBytes(
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-6\"?><r><S>\xC3\xA9</S></r>"));
  EXPECT_EQ(marked.saveToBytes(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r>\r\n  <S>&#233;</S>\r\n</r>\r\n");
  // The same references where they are plain text, and the predefined ones.
  XMLNetProfile fine("unused.xml", "S", true);
  fine.setEnvironment(boxes.environment);
  ASSERT_TRUE(
      fine.loadFromBytes("<r><!-- &nbsp; &#0; --><?pi &x;?><S><T><![CDATA[&nbsp;]]>&amp;&lt;"
                         "&gt;&apos;&quot;&#233;&#10;& x &y</T></S></r>"));
  EXPECT_EQ(fine.ReadString("T"), "&nbsp;&<>'\"\xC3\xA9\n& x &y");
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
  const std::string cases[] = {broken,
                               outside,
                               garbled,
                               folder.file("missing.xml"),
                               folder.file("adir.xml"),
                               folder.file("empty.xml")};
  writeFile(folder.file("empty.xml"), "");
  for (const std::string& path : cases) {
    boxes.shown.clear();
    XMLNetProfile p(path, "S", true);
    p.setEnvironment(boxes.environment);
    p.loadFromBytes("<profile><S><A>5</A></S></profile>");
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
    profile.setEnvironment(boxes.environment);
    ASSERT_TRUE(profile.Load());
    // Big enough for several write chunks.
    for (int i = 0; i < 3000; ++i)
      profile.WriteString("Big" + std::to_string(i), std::string(40, 'x'));
    ASSERT_GT(profile.saveToBytes().size(), 2 * tallymark::platform::kFileWriteChunk);
  }
  // Makes the `nth` occurrence (from 1) of `step` fail with `error`.
  void failAt(FileStep step, int nth, std::string error) {
    auto count = std::make_shared<int>(0);
    boxes.environment.fileFaults = [=](FileStep s) {
      return s == step && ++*count == nth ? error : std::string();
    };
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
  boxes.environment.fileFaults = nullptr;
  boxes.shown.clear();
  EXPECT_TRUE(profile.Save()) << "the same profile saves once the fault is gone";
  EXPECT_TRUE(boxes.shown.empty());
  XMLNetProfile check(path, "Dazada_Ruvazidu", true);
  check.setEnvironment(boxes.environment);
  ASSERT_TRUE(check.Load());
  EXPECT_EQ(check.ReadString("Big2999"), std::string(40, 'x'));
}

TEST_F(FailingSave, AFailureAtAnyStepOfTheSaveKeepsTheOldProfileByteForByte) {
  // The steps of this save, recorded by failing its last one (the rename).
  auto steps = std::make_shared<std::vector<FileStep>>();
  boxes.environment.fileFaults = [steps](FileStep s) {
    steps->push_back(s);
    return s == FileStep::Replace ? std::string("recording") : std::string();
  };
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
    boxes.environment.fileFaults = [seen, failing](FileStep) {
      return (*seen)++ == failing ? std::string("Injected fault") : std::string();
    };
    EXPECT_FALSE(profile.Save());
    EXPECT_EQ(*seen, failing + 1) << "nothing is tried after the failing step";
    expectUntouched();
    EXPECT_EQ(boxes.shown[0].text, "Warning - Injected fault");
  }
  boxes.environment.fileFaults = nullptr;
  EXPECT_TRUE(profile.Save());
  EXPECT_NE(readFile(path), original);
}

TEST_F(FailingSave, ADirectoryInTheFilesPlaceOrAMissingFolderFailsCleanly) {
  std::string dirPath = folder.file("adir.xml");
  std::filesystem::create_directory(dirPath);
  writeFile(folder.file("adir.xml/inside.txt"), "keep");
  XMLNetProfile onDir(dirPath, "S", true);
  onDir.setEnvironment(boxes.environment);
  onDir.WriteInt("K", 1);
  EXPECT_FALSE(onDir.Save());
  EXPECT_EQ(readFile(folder.file("adir.xml/inside.txt")), "keep");
  EXPECT_EQ(folder.entries().size(), 2u) << "no temporary file left";

  XMLNetProfile nowhere(folder.file("no/such/folder.xml"), "S", true);
  nowhere.setEnvironment(boxes.environment);
  nowhere.WriteInt("K", 1);
  EXPECT_FALSE(nowhere.Save());
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text.rfind("Warning - ", 0), 0u);
  EXPECT_EQ(readFile(path), original);
}

}  // namespace
