#include "settings/profile_xml.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace tallymark::settings {
namespace {

constexpr std::string_view kNewline = "\r\n";
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype |
                                   pugi::parse_ws_pcdata_single;

bool isAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

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

void appendReference(std::string& out, uint32_t cp) {
  out += "&#";
  out += std::to_string(cp);
  out += ';';
}

// Whether `c` is written as it stands: ASCII that needs neither an entity nor a reference.
bool isPlain(unsigned char c, bool attribute) {
  if (c >= 0x80 || c == '&' || c == '<' || c == '>') return false;
  if (c == '"') return !attribute;
  if (c < 0x20) return !attribute && (c == '\n' || c == '\t');
  return true;
}

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    // Runs of plain text go out in one piece; profiles are mostly plain text.
    size_t plainEnd = i;
    while (plainEnd < n && isPlain(p[plainEnd], attribute)) ++plainEnd;
    out.append(text.data() + i, plainEnd - i);
    i = plainEnd;
    if (i == n) break;
    unsigned char c = p[i];
    if (c >= 0x80) {
      uint32_t cp = c;
      size_t len = decodeUtf8(p + i, n - i, cp);
      if (len == 0) {
        cp = c;
        len = 1;
      }
      appendReference(out, cp);
      i += len;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"':
        if (attribute) {
          out += "&quot;";
        } else {
          out += '"';
        }
        break;
      default:
        // A literal CR would become LF on reading, and in an attribute every line
        // break or tab would become a space: references keep them.
        if (c < 0x20 && (attribute || (c != '\n' && c != '\t'))) {
          appendReference(out, c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
}

bool hasTextChild(pugi::xml_node node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return true;
  }
  return false;
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
  Writer(bool rawUtf8, size_t sizeHint) : rawUtf8_(rawUtf8) { out.reserve(sizeHint + sizeHint / 8); }

  // Names, comments, processing instructions and the document type: written as they
  // are, noting whether any of them holds characters outside ASCII.
  void markup(const char* text) {
    std::string_view view(text);
    out += view;
    if (!nonAsciiMarkup && !isAscii(view)) nonAsciiMarkup = true;
  }

  void attributes(pugi::xml_node node) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      out += ' ';
      markup(a.name());
      out += "=\"";
      if (node.type() == pugi::node_declaration && std::string_view(a.name()) == "encoding") {
        appendEscaped(out, declaredEncoding(a.value(), rawUtf8_), true);
      } else {
        appendEscaped(out, a.value(), true);
      }
      out += '"';
    }
  }

  // Everything of a node up to its children; for a node without children, all of it.
  void open(pugi::xml_node node) {
    switch (node.type()) {
      case pugi::node_element:
        out += '<';
        markup(node.name());
        attributes(node);
        out += node.first_child() ? ">" : " />";
        break;
      case pugi::node_pcdata:
        appendEscaped(out, node.value(), false);
        break;
      case pugi::node_cdata: {
        std::string_view value = node.value();
        if (isAscii(value) && value.find("]]>") == std::string_view::npos) {
          out += "<![CDATA[";
          out += value;
          out += "]]>";
        } else {
          appendEscaped(out, value, false);
        }
        break;
      }
      case pugi::node_comment:
        out += "<!--";
        markup(node.value());
        out += "-->";
        break;
      case pugi::node_pi:
        out += "<?";
        markup(node.name());
        if (*node.value() != '\0') {
          out += ' ';
          markup(node.value());
        }
        out += "?>";
        break;
      case pugi::node_declaration:
        out += "<?";
        markup(node.name());
        attributes(node);
        out += "?>";
        break;
      case pugi::node_doctype:
        out += "<!DOCTYPE ";
        markup(node.value());
        out += '>';
        break;
      default:
        break;
    }
  }

  void indent(int depth) { out.append(static_cast<size_t>(depth) * 2, ' '); }

  std::string out;
  bool nonAsciiMarkup = false;

 private:
  bool rawUtf8_;
};

}  // namespace

pugi::xml_parse_result parseProfile(pugi::xml_document& document, const std::string& bytes) {
  pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_auto);
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
  if (!isValidUtf8(bytes)) repairUtf8(document);
  return result;
}

namespace {

void writeTree(Writer& w, const pugi::xml_document& document) {
  // Walks the tree without recursion, so that no nesting depth can exhaust the stack.
  // Children of an element at `inlineFrom` and deeper are written without layout.
  constexpr int kLaidOut = -1;
  int inlineFrom = kLaidOut;
  int depth = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    bool layout = inlineFrom == kLaidOut;
    if (layout) w.indent(depth);
    w.open(node);
    if (node.type() == pugi::node_element && node.first_child()) {
      if (layout) {
        if (hasTextChild(node)) {
          inlineFrom = depth + 1;
        } else {
          w.out += kNewline;
        }
      }
      ++depth;
      node = node.first_child();
      continue;
    }
    if (layout) w.out += kNewline;
    while (node && !node.next_sibling()) {
      node = node.parent();
      if (node.type() != pugi::node_element) {
        node = pugi::xml_node();
        break;
      }
      --depth;
      if (inlineFrom == kLaidOut) w.indent(depth);
      w.out += "</";
      w.out += node.name();
      w.out += '>';
      if (inlineFrom == depth + 1) inlineFrom = kLaidOut;
      if (inlineFrom == kLaidOut) w.out += kNewline;
    }
    if (node) node = node.next_sibling();
  }
}

}  // namespace

std::string writeProfile(const pugi::xml_document& document, size_t sizeHint) {
  // Written first as though all markup were ASCII, as it is in host profiles; markup
  // with other characters turns up on the way, and then the document is written again
  // as UTF-8 with a declaration that says so.
  Writer ascii(false, sizeHint);
  writeTree(ascii, document);
  if (!ascii.nonAsciiMarkup) return std::move(ascii.out);
  Writer utf8(true, sizeHint);
  writeTree(utf8, document);
  return std::move(utf8.out);
}

}  // namespace tallymark::settings
