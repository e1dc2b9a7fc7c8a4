// XMLNetProfile on in-memory documents: key paths, value encodings, writes and the
// text it saves.
#include "settings/xml_net_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "settings/profile_values.h"
#include "test_files.h"

namespace {

XMLNetProfile loaded(const std::string& xml, const std::string& section = "S",
                     bool simplePath = true) {
  XMLNetProfile p("unused.xml", section, simplePath);
  EXPECT_TRUE(p.loadFromBytes(xml)) << xml;
  return p;
}

TEST(ProfileReads, MissingEmptyAndNonTrueValues) {
  auto p = loaded(
      "<profile><S><Empty></Empty><Lower>true</Lower><One>1</One>"
      "<Yes>True</Yes><Spaced> True </Spaced></S></profile>");
  EXPECT_TRUE(p.ReadBool("Missing", true));
  EXPECT_EQ(p.ReadString("Missing", "dflt"), "dflt");
  EXPECT_EQ(p.ReadString("Empty", "dflt"), "") << "an empty element is not missing";
  EXPECT_FALSE(p.ReadBool("Empty", true));
  EXPECT_FALSE(p.ReadBool("Lower", true));
  EXPECT_FALSE(p.ReadBool("One", true));
  EXPECT_FALSE(p.ReadBool("Spaced", true));
  EXPECT_TRUE(p.ReadBool("Yes"));
  EXPECT_EQ(p.ReadInt("Empty", 7), 7) << "empty text is a malformed number";
  EXPECT_EQ(p.ReadInt("Missing"), 0);
  EXPECT_EQ(p.ReadDouble("Missing"), 0.0);
}

TEST(ProfileReads, PathsTakeTheFirstExactMatchAndNeverSplitNames) {
  auto p = loaded(
      "<root><Other><X>other</X></Other>"
      "<S><?Dlg pi?><Axis><X>first</X><X>second</X><x>lower</x></Axis><Axis><Y>late</Y></Axis>"
      "<Mixed>a<b>b<c>c</c></b><![CDATA[d]]></Mixed></S>"
      "<S><Axis><Y>second section</Y></Axis></S></root>");
  EXPECT_EQ(p.ReadString("Axis/X"), "first");
  EXPECT_EQ(p.ReadString("Axis/Y", "none"), "none") << "only the first Axis is walked";
  EXPECT_EQ(p.ReadString("Dlg", "none"), "none") << "a processing instruction is no element";
  EXPECT_EQ(p.ReadString("Mixed"), "abcd") << "all text inside, in document order";
  for (const char* key : {"/Axis/X", "Axis/X/", "Axis//X", "", "Axis/ X"}) {
    EXPECT_FALSE(p.FindEntry(key)) << '"' << key << '"';
  }
  auto flat = loaded("<r><S><Axis><X>1</X></Axis></S></r>", "S", false);
  EXPECT_FALSE(flat.FindEntry("Axis/X")) << "without simplePath the key is one name";
  EXPECT_EQ(flat.ReadString("Axis"), "1");
}

TEST(ProfileReads, ReadsLeaveTheDocumentAsItWas) {
  auto p = loaded("<?xml version=\"1.0\"?><r><S><A>1</A></S></r>");
  std::string before = p.saveToBytes();
  p.ReadString("A/B/C");
  p.ReadInt("Nope/Deeper", 3);
  p.ReadBool("A");
  EXPECT_EQ(p.saveToBytes(), before);
}

// The document is built inside the loaded text; moving the profile object or loading
// another text must leave every read pointing at live text. A text this short lives
// inside a std::string object itself, so a careless move would leave the tree behind.
TEST(ProfileReads, MovedAndReloadedProfilesKeepTheirText) {
  auto source = std::make_unique<XMLNetProfile>("unused.xml", "S", true);
  ASSERT_TRUE(source->loadFromBytes("<p><S>7</S></p>"));
  XMLNetProfile moved(std::move(*source));
  source.reset();
  EXPECT_STREQ(moved.document().child("p").child_value("S"), "7");

  XMLNetProfile target("unused.xml", "S", true);
  ASSERT_TRUE(target.loadFromBytes("<p><S><A>1</A></S></p>"));
  target = std::move(moved);
  EXPECT_STREQ(target.document().child("p").child_value("S"), "7");
  target.WriteInt("B", 5);
  EXPECT_EQ(target.saveToBytes(), "<p>\r\n  <S>7<B>5</B></S>\r\n</p>\r\n");

  ASSERT_TRUE(target.loadFromBytes("<p><S><A>2</A></S></p>"));
  EXPECT_EQ(target.ReadInt("A"), 2);
  EXPECT_FALSE(target.FindEntry("B")) << "a load replaces the whole document";
}

TEST(ProfileNumbers, IntegersAcceptSpaceAndOneSignOnly) {
  using tallymark::settings::parseInt;
  EXPECT_EQ(parseInt(" +42\t"), 42);
  EXPECT_EQ(parseInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(parseInt("2147483647"), INT32_MAX);
  for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "4 2", "0x10",
                          "1,000", "+-1", "--1", "1.0", "", " ", "+", "١"}) {
    EXPECT_FALSE(parseInt(bad).has_value()) << bad;
  }
  auto p = loaded("<r><S><N>12abc</N></S></r>");
  EXPECT_EQ(p.ReadInt("N", -9), -9) << "a malformed number falls back to the default";
}

TEST(ProfileNumbers, DoublesAreCultureInvariantWithGroupSeparators) {
  using tallymark::settings::parseDouble;
  EXPECT_EQ(parseDouble("1,234.5"), 1234.5);
  EXPECT_EQ(parseDouble("1,234,567"), 1234567.0);
  EXPECT_EQ(parseDouble(" -0.25 "), -0.25);
  EXPECT_EQ(parseDouble("+.5"), 0.5);
  EXPECT_EQ(parseDouble("5."), 5.0);
  EXPECT_EQ(parseDouble("1.5E-05"), 1.5e-5);
  EXPECT_EQ(parseDouble("2e3"), 2000.0);
  for (const char* bad : {"1.234,5", ",5", "5,", "1,,2", "1.2.3", "1e", "e5", ".", "-", "NaN",
                          "Infinity", "1e400", "0x1p3", "12abc", ""}) {
    EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
  }
}

TEST(ProfileNumbers, DoublesAreWrittenWithFifteenDigitsAndReadBack) {
  using tallymark::settings::formatDouble;
  EXPECT_EQ(formatDouble(0.1), "0.1");
  EXPECT_EQ(formatDouble(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(formatDouble(-2.5), "-2.5");
  EXPECT_EQ(formatDouble(100.0), "100");
  EXPECT_EQ(formatDouble(123456789012345.0), "123456789012345");
  EXPECT_EQ(formatDouble(1e15), "1E+15");
  EXPECT_EQ(formatDouble(0.0001), "0.0001");
  EXPECT_EQ(formatDouble(0.00001), "1E-05");
  EXPECT_EQ(formatDouble(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(formatDouble(-std::numeric_limits<double>::infinity()), "-Infinity");

  XMLNetProfile p("unused.xml", "S", true);
  for (double v : {0.0, 12.75, -1e-300, 6.02214076e23, 1234567.125}) {
    p.WriteDouble("V", v);
    EXPECT_EQ(p.ReadDouble("V", 99.0), v);
  }
  p.WriteInt("I", INT32_MIN);
  EXPECT_EQ(p.ReadString("I"), "-2147483648");
  EXPECT_EQ(p.ReadInt("I"), INT32_MIN);
  p.WriteBool("B", false);
  EXPECT_EQ(p.ReadString("B"), "False");
  p.WriteBool("B", true);
  EXPECT_EQ(p.ReadString("B"), "True");
}

TEST(ProfileWrites, IntoAnEmptyDocumentBuildTheWholePath) {
  XMLNetProfile p("unused.xml", "Dazada_Ruvazidu", true);
  p.WriteBool("Axis/X", true);
  p.WriteString("IPCamPath", "rtsp://10.0.0.5/a&b<c>");
  EXPECT_EQ(p.saveToBytes(),
            "<profile>\r\n"
            "  <Dazada_Ruvazidu>\r\n"
            "    <Axis>\r\n"
            "      <X>True</X>\r\n"
            "    </Axis>\r\n"
            "    <IPCamPath>rtsp://10.0.0.5/a&amp;b&lt;c&gt;</IPCamPath>\r\n"
            "  </Dazada_Ruvazidu>\r\n"
            "</profile>\r\n");
}

TEST(ProfileWrites, GoToTheFirstMatchAndReplaceChildren) {
  auto p = loaded("<Mach><S><K><Old>x</Old>t<Old2/></K><K>2</K></S><S><K>other</K></S></Mach>");
  p.WriteInt("K", 5);
  EXPECT_EQ(p.saveToBytes(),
            "<Mach>\r\n  <S>\r\n    <K>5</K>\r\n    <K>2</K>\r\n  </S>\r\n"
            "  <S>\r\n    <K>other</K>\r\n  </S>\r\n</Mach>\r\n")
      << "root name kept, first section and key written, children replaced";
  p.WriteString("K", "");
  EXPECT_EQ(p.ReadString("K", "d"), "");
  EXPECT_NE(p.saveToBytes().find("<K />"), std::string::npos);
}

TEST(ProfileWrites, AnEmptySectionOverSeveralLinesGainsALaidOutChild) {
  auto p = loaded("<profile>\n  <S>\n  </S>\n</profile>");
  p.WriteInt("Tallymark_v1.0", 1);
  std::string saved = p.saveToBytes();
  EXPECT_EQ(saved,
            "<profile>\r\n  <S>\r\n    <Tallymark_v1.0>1</Tallymark_v1.0>\r\n  </S>\r\n"
            "</profile>\r\n");
  EXPECT_EQ(loaded(saved).saveToBytes(), saved);
}

TEST(ProfileWrites, InvalidNamesAreRefusedWithoutTouchingTheDocument) {
  auto p = loaded("<r><S/></r>");
  std::string before = p.saveToBytes();
  for (const char* key : {"", "a//b", "/a", "a/", "1abc", "has space", "a<b", "x/\"q\""}) {
    EXPECT_FALSE(p.SetEntry(key, "v")) << key;
  }
  EXPECT_EQ(p.saveToBytes(), before);
  XMLNetProfile empty("unused.xml", "bad name", true);
  empty.WriteInt("K", 1);
  EXPECT_EQ(empty.saveToBytes(), "") << "not even the root is made for a refused write";
}

TEST(ProfileText, LayoutKeepsEveryNodeAndAddsNoWhiteSpaceToText) {
  const std::string source =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- head -->\n<!DOCTYPE profile>\n"
      "<profile>\n\t<S a=\"1 &amp; &quot;2&quot;\" b=\"tab&#9;nl&#10;cr&#13;\">\n"
      "\t\t<!--inner--><?pi data?>\n"
      "\t\t<Mixed>one <b>two</b> three<c/></Mixed>\n"
      "\t\t<Padded>  spaced  </Padded><Blank>   </Blank>\n"
      "\t\t<Lines>a\nb&#13;c</Lines><C><![CDATA[<raw & ok>]]></C><E></E>\n"
      "\t</S>\n</profile>\n";
  auto p = loaded(source);
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- head -->\r\n<!DOCTYPE profile>\r\n"
      "<profile>\r\n  <S a=\"1 &amp; &quot;2&quot;\" b=\"tab&#9;nl&#10;cr&#13;\">\r\n"
      "    <!--inner-->\r\n    <?pi data?>\r\n"
      "    <Mixed>one <b>two</b> three<c /></Mixed>\r\n"
      "    <Padded>  spaced  </Padded>\r\n    <Blank>   </Blank>\r\n"
      "    <Lines>a\nb&#13;c</Lines>\r\n    <C><![CDATA[<raw & ok>]]></C>\r\n    <E />\r\n"
      "  </S>\r\n</profile>\r\n";
  EXPECT_EQ(p.saveToBytes(), expected);
  EXPECT_EQ(p.ReadString("Mixed"), "one two three");
  EXPECT_EQ(p.ReadString("Lines"), "a\nb\rc");
  EXPECT_EQ(p.ReadString("Blank"), "   ");
  auto again = loaded(expected);
  EXPECT_EQ(again.saveToBytes(), expected);
  EXPECT_EQ(again.document().document_element().child("S").attribute("b").value(),
            std::string("tab\tnl\ncr\r"));
}

TEST(ProfileText, NonAsciiTextBecomesReferencesAndMarkupStaysUtf8) {
  // é (2 bytes), Đ (2), ế (3), 😀 (4).
  auto utf8 = loaded(
      "<r><S v=\"\xC3\xA9\"><T>\xC4\x90\xE1\xBA\xBF\xF0\x9F\x98\x80 \xC3\xA9</T>"
      "<C><![CDATA[x\xC3\xA9]]></C></S></r>");
  std::string saved = utf8.saveToBytes();
  EXPECT_EQ(saved,
            "<r>\r\n  <S v=\"&#233;\">\r\n    <T>&#272;&#7871;&#128512; &#233;</T>\r\n"
            "    <C>x&#233;</C>\r\n  </S>\r\n</r>\r\n");

  // Raw UTF-8 markup in a file declared otherwise is tested with the code pages.
  auto names = loaded(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<r><!-- \xC3\xA9 --><S><\xC4\x90\xE1\xBB\x99 "
      "\xC3\xA1=\"1\">v</\xC4\x90\xE1\xBB\x99></S></r>");
  std::string withNames = names.saveToBytes();
  EXPECT_EQ(withNames.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n", 0), 0u)
      << "raw UTF-8 markup must be declared as UTF-8: " << withNames;
  EXPECT_NE(withNames.find("<!-- \xC3\xA9 -->"), std::string::npos);
  auto back = loaded(withNames);
  EXPECT_EQ(back.ReadString("\xC4\x90\xE1\xBB\x99"), "v");
  EXPECT_EQ(back.saveToBytes(), withNames);
}

// The writer fills a buffer sized from the loaded file and grows it when it runs out,
// which may happen inside a name or a value. A profile built in memory has no loaded
// size at all.
TEST(ProfileText, LongNamesAndValuesSurviveTheBufferGrowing) {
  std::string value;
  std::string escaped;
  for (int i = 0; i < 20000; ++i) {
    value += i % 7 == 0 ? "&\xC3\xA9<" : "plain";
    escaped += i % 7 == 0 ? "&amp;&#233;&lt;" : "plain";
  }
  std::string name(9000, 'N');
  XMLNetProfile p("unused.xml", "S", true);
  p.WriteString("Short", "x");
  p.WriteString(name, value);
  p.WriteString("After", value);
  std::string saved = p.saveToBytes();
  EXPECT_EQ(saved, "<profile>\r\n  <S>\r\n    <Short>x</Short>\r\n    <" + name + ">" + escaped +
                       "</" + name + ">\r\n    <After>" + escaped +
                       "</After>\r\n  </S>\r\n</profile>\r\n");
  auto back = loaded(saved);
  EXPECT_EQ(back.ReadString(name), value);
  EXPECT_EQ(back.saveToBytes(), saved);
}

}  // namespace
