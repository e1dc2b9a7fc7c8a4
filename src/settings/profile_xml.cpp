#include "settings/profile_xml.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

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

bool isValidUtf8(std::string_view text) {
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
    if (len == 0) return false;
    i += len;
  }
  return true;
}

// `text` with every byte that is not part of valid UTF-8 taken as the Latin-1
// character of the same value.
std::string latin1Repaired(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  out.reserve(text.size() + 8);
  uint32_t cp;
  for (size_t i = 0, n = text.size(); i < n;) {
    size_t len = p[i] < 0x80 ? 1 : decodeUtf8(p + i, n - i, cp);
    if (len > 0) {
      out.append(text.data() + i, len);
      i += len;
    } else {
      out += static_cast<char>(0xC0 | (p[i] >> 6));
      out += static_cast<char>(0x80 | (p[i] & 0x3F));
      ++i;
    }
  }
  return out;
}

// pugixml reads an 8-bit file that does not declare Latin-1 as UTF-8 and keeps bytes
// that are not valid UTF-8 as they stand (hand-edited profiles saved in a Western code
// page have them). Every name and value is made valid UTF-8 here, reading such bytes as
// Latin-1, so that what the reads hand out is the same text a save and reload give back.
void repairUtf8(pugi::xml_document& document) {
  for (pugi::xml_node node = document.first_child(); node;) {
    if (!isValidUtf8(node.name())) node.set_name(latin1Repaired(node.name()).c_str());
    if (!isValidUtf8(node.value())) node.set_value(latin1Repaired(node.value()).c_str());
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      if (!isValidUtf8(a.name())) a.set_name(latin1Repaired(a.name()).c_str());
      if (!isValidUtf8(a.value())) a.set_value(latin1Repaired(a.value()).c_str());
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
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
      case '&': out.put("&amp;", 5); break;
      case '<': out.put("&lt;", 4); break;
      case '>': out.put("&gt;", 4); break;
      case '"': out.put("&quot;", 6); break;  // in attributes only; text keeps it plain
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

std::string declaredEncoding(std::string_view declared, bool rawUtf8) {
  std::string name = lowerAscii(declared);
  bool wide = name.rfind("utf-16", 0) == 0 || name.rfind("utf16", 0) == 0 ||
              name.rfind("utf-32", 0) == 0 || name.rfind("utf32", 0) == 0 ||
              name.rfind("ucs", 0) == 0 || name.rfind("unicode", 0) == 0;
  if (wide || (rawUtf8 && name != "utf-8" && name != "utf8")) return "utf-8";
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
        appendEscaped(out, declaredEncoding(a.value(), rawUtf8_).c_str(), true);
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

pugi::xml_parse_result parseProfile(pugi::xml_document& document, std::string& text) {
  // Checked before the parser rewrites the text in its place.
  bool validUtf8 = isValidUtf8(text);
  pugi::xml_parse_result result =
      document.load_buffer_inplace(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
  if (!result) return result;
  // pugixml accepts text outside the root element, which no XML reader (the host's
  // included) does, and which the writer could not give back. Such a file is not
  // well-formed.
  // Likewise a declaration with other pseudo-attributes than version, encoding and
  // standalone: pugixml takes any "encoding=" inside it as the encoding, so a garbled
  // declaration could make the saved file read back in another encoding.
  for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
      result.status = pugi::status_bad_pcdata;
      result.offset = node.offset_debug() > 0 ? node.offset_debug() : 0;
      return result;
    }
    if (node.type() == pugi::node_declaration) {
      for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (name != "version" && name != "encoding" && name != "standalone") {
          result.status = pugi::status_bad_pi;
          result.offset = node.offset_debug() > 0 ? node.offset_debug() : 0;
          return result;
        }
      }
    }
  }
  // Only a file with bytes that are not UTF-8 can leave such bytes in the tree.
  if (!validUtf8) repairUtf8(document);
  return result;
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
