#include "settings/profile_xml.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text_encoding.h"

namespace tallymark::settings {
namespace {

constexpr std::string_view kNewline = "\r\n";
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype |
                                   pugi::parse_ws_pcdata_single;

// Length of the valid UTF-8 sequence at `p` (code point in `cp`), or 0 when the bytes
// there are not valid UTF-8 (stray continuation, overlong form, surrogate, > U+10FFFF).
size_t decodeUtf8(const unsigned char* p, size_t n, uint32_t& cp) {
  unsigned char lead = p[0];
  size_t len;
  uint32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

constexpr size_t kAllValid = static_cast<size_t>(-1);

// Offset of the first byte of `text` that is not part of valid UTF-8, or kAllValid.
size_t firstInvalidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  uint32_t cp;
  for (size_t i = 0, n = text.size(); i < n;) {
    // Eight ASCII bytes at a time: a profile is almost all ASCII.
    uint64_t eight;
    while (i + 8 <= n && (std::memcpy(&eight, p + i, 8), (eight & 0x8080808080808080u) == 0)) {
      i += 8;
    }
    if (i == n) break;
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    size_t len = decodeUtf8(p + i, n - i, cp);
    if (len == 0) return i;
    i += len;
  }
  return kAllValid;
}

// The text being written, filled through a pointer into a buffer that grows by doubling.
// A profile is written in pieces of a few bytes each, and std::string's append costs a
// call and a capacity check per piece.
class Output {
 public:
  explicit Output(size_t expected) {
    text_.resize(expected > 4096 ? expected : 4096);
    next_ = text_.data();
    end_ = next_ + text_.size();
  }

  void put(const char* bytes, size_t n) {
    std::memcpy(room(n), bytes, n);
    next_ += n;
  }
  void put(std::string_view bytes) { put(bytes.data(), bytes.size()); }
  void put(char c) {
    *room(1) = c;
    ++next_;
  }
  void spaces(size_t n) {
    std::memset(room(n), ' ', n);
    next_ += n;
  }

  // For pieces of unknown length, copied as they are scanned: the free room from
  // cursor() to limit(), filled through the pointer, which then goes back to commit().
  // reserve() makes at least `n` bytes of room.
  char* cursor() const { return next_; }
  char* limit() const { return end_; }
  void commit(char* end) { next_ = end; }
  void reserve(size_t n) { room(n); }

  std::string take() {
    text_.resize(static_cast<size_t>(next_ - text_.data()));
    return std::move(text_);
  }

 private:
  char* room(size_t n) {
    if (static_cast<size_t>(end_ - next_) < n) grow(n);
    return next_;
  }

  void grow(size_t n) {
    size_t used = static_cast<size_t>(next_ - text_.data());
    size_t wanted = text_.size() * 2;
    text_.resize(wanted > used + n ? wanted : used + n);
    next_ = text_.data() + used;
    end_ = text_.data() + text_.size();
  }

  std::string text_;
  char* next_;
  char* end_;
};

void appendReference(Output& out, uint32_t cp) {
  char digits[16];
  int n = std::snprintf(digits, sizeof digits, "&#%u;", static_cast<unsigned>(cp));
  out.put(digits, static_cast<size_t>(n));
}

// Whether `c` is written as it stands: ASCII that needs neither an entity nor a reference.
// NUL is not, so a scan for plain bytes stops at the end of a C string.
constexpr bool isPlain(unsigned char c, bool attribute) {
  if (c >= 0x80 || c == '&' || c == '<' || c == '>') return false;
  if (c == '"') return !attribute;
  if (c < 0x20) return !attribute && (c == '\n' || c == '\t');
  return true;
}

struct PlainBytes {
  bool text[256];
  bool attribute[256];
};

constexpr PlainBytes makePlainBytes() {
  PlainBytes table{};
  for (int c = 0; c < 256; ++c) {
    table.text[c] = isPlain(static_cast<unsigned char>(c), false);
    table.attribute[c] = isPlain(static_cast<unsigned char>(c), true);
  }
  return table;
}

constexpr PlainBytes kPlainBytes = makePlainBytes();

// `text` (NUL-terminated, as pugixml keeps every string) escaped for text or an
// attribute value in 7-bit ASCII.
void appendEscaped(Output& out, const char* text, bool attribute) {
  const bool* plain = attribute ? kPlainBytes.attribute : kPlainBytes.text;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (;;) {
    // Plain bytes are copied as they are scanned, most values being all plain.
    char* to = out.cursor();
    char* limit = out.limit();
    while (to != limit && plain[*p]) *to++ = static_cast<char>(*p++);
    out.commit(to);
    if (to == limit) {
      out.reserve(64);
      continue;
    }
    unsigned char c = *p;
    if (c == '\0') return;
    if (c >= 0x80) {
      // The NUL at the end is no continuation byte, so decoding stops there.
      uint32_t cp = c;
      size_t len = decodeUtf8(p, 4, cp);
      if (len == 0) {
        cp = c;
        len = 1;
      }
      appendReference(out, cp);
      p += len;
      continue;
    }
    switch (c) {
      case '&':
        out.put("&amp;", 5);
        break;
      case '<':
        out.put("&lt;", 4);
        break;
      case '>':
        out.put("&gt;", 4);
        break;
      case '"':
        out.put("&quot;", 6);
        break;  // in attributes only; text keeps it plain
      default:
        // A literal CR would become LF on reading, and in an attribute every line
        // break or tab would become a space: references keep them.
        appendReference(out, c);
    }
    ++p;
  }
}

bool isAscii(const char* text) {
  unsigned char high = 0;
  for (const char* p = text; *p != '\0'; ++p) high |= static_cast<unsigned char>(*p);
  return high < 0x80;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool isWideEncodingName(const std::string& lowered) {
  for (const char* prefix : {"utf-16", "utf16", "utf-32", "utf32", "ucs", "unicode"}) {
    if (lowered.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

bool isUtf8Name(const std::string& lowered) {
  return lowered == "utf-8" || lowered == "utf8";
}

std::string writtenEncoding(std::string_view declared, bool rawUtf8) {
  std::string name = lowerAscii(declared);
  if (isWideEncodingName(name) || (rawUtf8 && !isUtf8Name(name))) return "utf-8";
  return std::string(declared);
}

class Writer {
 public:
  Writer(bool rawUtf8, size_t sizeHint) : out(sizeHint + sizeHint / 8), rawUtf8_(rawUtf8) {}

  // Names, comments, processing instructions and the document type: written as they
  // are, noting whether any of them holds characters outside ASCII. Gives the length.
  size_t markup(const char* text) {
    const char* from = text;
    unsigned char high = 0;
    for (;;) {
      char* to = out.cursor();
      char* limit = out.limit();
      while (to != limit && *from != '\0') {
        high |= static_cast<unsigned char>(*from);
        *to++ = *from++;
      }
      out.commit(to);
      if (*from == '\0') break;
      out.reserve(64);
    }
    if (high >= 0x80) nonAsciiMarkup = true;
    return static_cast<size_t>(from - text);
  }

  void attributes(pugi::xml_node node, bool declaration) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      out.put(' ');
      markup(a.name());
      out.put("=\"", 2);
      if (declaration && std::strcmp(a.name(), "encoding") == 0) {
        appendEscaped(out, writtenEncoding(a.value(), rawUtf8_).c_str(), true);
      } else {
        appendEscaped(out, a.value(), true);
      }
      out.put('"');
    }
  }

  // A node that is not an element: all of it.
  void leaf(pugi::xml_node node, pugi::xml_node_type type) {
    switch (type) {
      case pugi::node_pcdata:
        appendEscaped(out, node.value(), false);
        break;
      case pugi::node_cdata: {
        const char* value = node.value();
        if (isAscii(value) && std::strstr(value, "]]>") == nullptr) {
          out.put("<![CDATA[", 9);
          out.put(value);
          out.put("]]>", 3);
        } else {
          appendEscaped(out, value, false);
        }
        break;
      }
      case pugi::node_comment:
        out.put("<!--", 4);
        markup(node.value());
        out.put("-->", 3);
        break;
      case pugi::node_pi: {
        out.put("<?", 2);
        markup(node.name());
        const char* value = node.value();
        if (*value != '\0') {
          out.put(' ');
          markup(value);
        }
        out.put("?>", 2);
        break;
      }
      case pugi::node_declaration:
        out.put("<?", 2);
        markup(node.name());
        attributes(node, true);
        out.put("?>", 2);
        break;
      case pugi::node_doctype:
        out.put("<!DOCTYPE ", 10);
        markup(node.value());
        out.put('>');
        break;
      default:
        break;
    }
  }

  void indent(size_t columns) { out.spaces(columns); }
  void newline() { out.put(kNewline); }

  Output out;
  bool nonAsciiMarkup = false;

 private:
  bool rawUtf8_;
};

}  // namespace

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || c == '_' || c == ':' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isNameChar(char c) {
  return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9');
}

// The encoding pugixml finds from a byte order mark or the first characters of a text in
// UTF-16 or UTF-32; encoding_auto for an 8-bit text.
pugi::xml_encoding wideEncoding(std::string_view text) {
  if (text.size() < 4) return pugi::encoding_auto;
  const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) return pugi::encoding_utf32_be;
  if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) return pugi::encoding_utf32_le;
  if (b(0) == 0xFE && b(1) == 0xFF) return pugi::encoding_utf16_be;
  if (b(0) == 0xFF && b(1) == 0xFE) return pugi::encoding_utf16_le;
  if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<') return pugi::encoding_utf32_be;
  if (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0) return pugi::encoding_utf32_le;
  if (b(0) == 0 && b(1) == '<') return pugi::encoding_utf16_be;
  if (b(0) == '<' && b(1) == 0) return pugi::encoding_utf16_le;
  return pugi::encoding_auto;
}

// The encoding named by the XML declaration that starts an 8-bit text, as it is written
// there; empty without one. pugixml reads the declaration again, and the parse compares
// the two readings.
std::string_view declarationEncoding(std::string_view text) {
  if (text.size() < 6 || text.compare(0, 5, "<?xml") != 0 || !isSpace(text[5])) return {};
  const std::string_view declaration = text.substr(0, text.find("?>"));
  for (size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    if (!isSpace(declaration[at - 1])) continue;
    size_t i = at + 8;
    while (i < declaration.size() && isSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') continue;
    ++i;
    while (i < declaration.size() && isSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
    const char quote = declaration[i++];
    const size_t end = declaration.find(quote, i);
    if (end == std::string_view::npos) return {};
    return declaration.substr(i, end - i);
  }
  return {};
}

// [A-Za-z] ([A-Za-z0-9._] | '-')*
bool isEncodingName(std::string_view name) {
  if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    return false;
  }
  for (char c : name) {
    if (!isNameChar(c) || c == ':' || static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Whether `text` holds a reference that pugixml cannot keep: one to an entity other than
// the five predefined ones (kept as text, which the writer would then escape), or to
// the character 0 (which ends the value there).
bool holdsLostReference(std::string_view text) {
  for (size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
    size_t end = amp + 1;
    if (end < text.size() && text[end] == '#') {
      end += end + 1 < text.size() && text[end + 1] == 'x' ? 2 : 1;
      const size_t digits = end;
      while (end < text.size() && text[end] == '0') ++end;
      if (end > digits && end < text.size() && text[end] == ';') return true;
      continue;
    }
    if (end >= text.size() || !isNameStart(text[end])) continue;
    while (end < text.size() && isNameChar(text[end])) ++end;
    if (end >= text.size() || text[end] != ';') continue;
    const std::string_view name = text.substr(amp + 1, end - amp - 1);
    if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot")
      return true;
  }
  return false;
}

// The first node in document order for which `bad(type, text)` holds of its name, its
// value, or an attribute's name or value; an empty node when there is none.
template <typename Bad>
pugi::xml_node findNode(const pugi::xml_document& document, Bad bad) {
  for (pugi::xml_node node = document.first_child(); node;) {
    const pugi::xml_node_type type = node.type();
    if (bad(type, node.name()) || bad(type, node.value())) return node;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      if (bad(type, a.name()) || bad(type, a.value())) return node;
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
  return {};
}

ProfileParseResult failure(std::string what, ptrdiff_t offset) {
  return {what + " (at byte " + std::to_string(offset > 0 ? offset : 0) + ")"};
}

ProfileParseResult failureAt(std::string what, pugi::xml_node node) {
  return failure(std::move(what), node.offset_debug());
}

// Characters that ASCII bytes stand for: in an encoding that reads them otherwise (UTF-7
// reads "+" as the start of a coded run) the saved ASCII text would change meaning.
std::string asciiProbe() {
  std::string probe;
  for (char c = 1; c > 0; ++c) probe += c;
  return probe;
}

}  // namespace

ProfileParseResult parseProfile(pugi::xml_document& document, std::string& text) {
  pugi::xml_encoding encoding = wideEncoding(text);
  const bool wide = encoding != pugi::encoding_auto;
  // Without a byte order mark the declaration names the encoding.
  const bool byDeclaration = !wide && text.compare(0, 3, "\xEF\xBB\xBF") != 0;
  std::string declared;
  bool declaredKept = true;
  if (!wide) {
    encoding = pugi::encoding_utf8;
    if (byDeclaration) declared = declarationEncoding(text);
    const std::string name = lowerAscii(declared);
    if (!declared.empty() && !isEncodingName(declared)) {
      return failure("the declared encoding \"" + declared + "\" is not an encoding name", 0);
    }
    if (declared.empty() || isUtf8Name(name) || isWideEncodingName(name)) {
      const size_t invalid = firstInvalidUtf8(text);
      if (invalid != kAllValid) {
        return failure("the text is not UTF-8 and its declaration names no other encoding",
                       static_cast<ptrdiff_t>(invalid));
      }
    } else if (name == "iso-8859-1" || name == "latin1") {
      encoding = pugi::encoding_latin1;
    } else {
      std::optional<std::string> utf8 = tallymark::platform::decodeToUtf8(text, declared);
      if (!utf8) {
        return {"the text cannot be read exactly in its declared encoding \"" + declared + "\""};
      }
      text = std::move(*utf8);
      static const std::string probe = asciiProbe();
      declaredKept = tallymark::platform::decodeToUtf8(probe, declared) == probe;
    }
  }
  // Asked before the parser rewrites the text in its place. A wide text is not searched
  // here; it is checked after the parse as a text that may hold either.
  const bool references = wide || text.find("&#") != std::string::npos;
  std::unique_ptr<std::string> unescaped;
  if (wide || holdsLostReference(text)) unescaped = std::make_unique<std::string>(text);

  pugi::xml_parse_result result =
      document.load_buffer_inplace(text.data(), text.size(), kParseOptions, encoding);
  if (!result) return failure(result.description(), result.offset);

  // pugixml accepts text outside the root element and a second root, which no XML reader
  // (the host's included) does, and which the writer could not give back.
  // Likewise a declaration with other pseudo-attributes than version, encoding and
  // standalone, or one whose encoding pugixml reads otherwise than the decoding above.
  bool rootSeen = false;
  for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) {
      return failureAt("text outside the root element", node);
    }
    if (type == pugi::node_element) {
      if (rootSeen) return failureAt("a second root element", node);
      rootSeen = true;
    }
    // pugixml takes "<?XML" in any case for a declaration; XML knows only "<?xml", and
    // the encoding sniffing of the next load refuses anything else.
    // Nor does XML know a declaration anywhere but at the very start.
    if ((type == pugi::node_declaration || type == pugi::node_pi) &&
        lowerAscii(node.name()) == "xml" &&
        (std::string_view(node.name()) != "xml" || node != document.first_child())) {
      return failureAt("an XML declaration that cannot be read", node);
    }
    if (type == pugi::node_declaration) {
      for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if ((name != "version" && name != "encoding" && name != "standalone") ||
            node.attribute(a.name()) != a) {  // named twice
          return failureAt("an XML declaration that cannot be read", node);
        }
      }
      pugi::xml_attribute named = node.attribute("encoding");
      if (byDeclaration && declared != named.value()) {
        return failureAt("an XML declaration that cannot be read", node);
      }
      // The saved text is UTF-8 (in practice ASCII) without a byte order mark: where the
      // mark gave the encoding, the declaration must name UTF-8 for it to read back.
      if (!declaredKept || (!byDeclaration && named && !isUtf8Name(lowerAscii(named.value())))) {
        named.set_value("utf-8");
      }
    }
  }
  // Character references to surrogates or beyond U+10FFFF (and such code units in UTF-32)
  // come out of pugixml as bytes that are not UTF-8.
  if (references) {
    pugi::xml_node node = findNode(document, [](pugi::xml_node_type, const char* s) {
      return firstInvalidUtf8(s) != kAllValid;
    });
    if (node) return failureAt("a reference to a code point that is no character", node);
  }
  if (unescaped) {
    // The same text once more with references left as written, to find where they stand:
    // in text and attribute values, not in comments, CDATA sections or the document type.
    pugi::xml_document raw;
    if (raw.load_buffer_inplace(unescaped->data(), unescaped->size(),
                                kParseOptions & ~pugi::parse_escapes, encoding)) {
      pugi::xml_node node = findNode(raw, [](pugi::xml_node_type type, const char* s) {
        return (type == pugi::node_element || type == pugi::node_pcdata ||
                type == pugi::node_declaration) &&
               holdsLostReference(s);
      });
      if (node) return failureAt("a reference to an undefined entity or to character 0", node);
    }
  }
  return {};
}

namespace {

// Whether `child` or one of its later siblings is text.
bool isTextAmong(pugi::xml_node child, pugi::xml_node_type type) {
  while (type != pugi::node_null) {
    if (type == pugi::node_pcdata || type == pugi::node_cdata) return true;
    child = child.next_sibling();
    type = child.type();
  }
  return false;
}

void writeTree(Writer& w, const pugi::xml_document& document) {
  // Walks the tree without recursion, so that no nesting depth can exhaust the stack;
  // the open elements are kept here rather than asked of the tree again. Every call on
  // a node is a call into pugixml, so each answer is asked for once: the type of a node
  // that is not there is node_null, which ends a row of siblings.
  // Children of an element at `inlineFrom` and deeper are written without layout.
  struct OpenElement {
    pugi::xml_node node;
    const char* name;
    size_t length;
  };
  std::vector<OpenElement> open;
  constexpr size_t kLaidOut = SIZE_MAX;
  size_t inlineFrom = kLaidOut;
  pugi::xml_node node = document.first_child();
  pugi::xml_node_type type = node.type();
  while (type != pugi::node_null) {
    size_t depth = open.size();
    bool layout = inlineFrom == kLaidOut;
    size_t indent = layout ? depth * 2 : 0;
    if (type == pugi::node_element) {
      w.indent(indent);
      w.out.put('<');
      const char* name = node.name();
      size_t length = w.markup(name);
      w.attributes(node, false);
      pugi::xml_node child = node.first_child();
      pugi::xml_node_type childType = child.type();
      if (childType != pugi::node_null) {
        bool text = layout && isTextAmong(child, childType);
        if (text) inlineFrom = depth + 1;
        w.out.put('>');
        if (layout && !text) w.newline();
        open.push_back({node, name, length});
        node = child;
        type = childType;
        continue;
      }
      w.out.put(" />", 3);
    } else {
      w.indent(indent);
      w.leaf(node, type);
    }
    if (layout) w.newline();
    pugi::xml_node next = node.next_sibling();
    type = next.type();
    while (type == pugi::node_null && !open.empty()) {
      OpenElement closed = open.back();
      open.pop_back();
      depth = open.size();
      indent = inlineFrom == kLaidOut ? depth * 2 : 0;
      if (inlineFrom == depth + 1) inlineFrom = kLaidOut;
      w.indent(indent);
      w.out.put("</", 2);
      w.out.put(closed.name, closed.length);
      w.out.put('>');
      if (inlineFrom == kLaidOut) w.newline();
      next = closed.node.next_sibling();
      type = next.type();
    }
    node = next;
  }
}

}  // namespace

std::string writeProfile(const pugi::xml_document& document, size_t sizeHint) {
  // Written first as though all markup were ASCII, as it is in host profiles; markup
  // with other characters turns up on the way, and then the document is written again
  // as UTF-8 with a declaration that says so.
  Writer ascii(false, sizeHint);
  writeTree(ascii, document);
  if (!ascii.nonAsciiMarkup) return ascii.out.take();
  Writer utf8(true, sizeHint);
  writeTree(utf8, document);
  return utf8.out.take();
}

}  // namespace tallymark::settings
