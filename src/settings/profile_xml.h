// Reading profile bytes into a pugixml tree and writing a tree back as the profile's
// 7-bit ASCII text.
#pragma once

#include <cstddef>
#include <pugixml.hpp>
#include <string>

namespace tallymark::settings {

struct ProfileParseResult {
  // Empty when the text was read; otherwise what is wrong with it, for the operator.
  std::string error;
  explicit operator bool() const { return error.empty(); }
};

// Parses `text` into `document`, keeping the declaration, document type, comments and
// processing instructions. White space between elements is dropped; white space that is
// an element's only content is kept. On failure `document` holds whatever the parser
// reached; the caller resets it.
//
// The text is read in the encoding its byte order mark gives (UTF-8, UTF-16, UTF-32),
// else in the one its declaration names: UTF-8 when it names none, ISO-8859-1, or any
// encoding the system reads exactly (platform/text_encoding.h). Whatever the reader
// could not give back unchanged on saving is refused as not well-formed, as every
// conforming XML reader refuses it: bytes that are not valid UTF-8 without a declared
// 8-bit encoding, an encoding that cannot be read exactly, text outside the root
// element or a second root, references to entities other than the five predefined
// ones, and character references to code points that are no characters.
// The document is built inside `text`, which the parser rewrites (a declared 8-bit
// encoding is first converted to UTF-8 there): `text` must stay unchanged, in the same
// place, for as long as the document lives. A copy of a profile of a few megabytes is
// then not made.
ProfileParseResult parseProfile(pugi::xml_document& document, std::string& text);

// The whole document as text: every node in document order, each element on its own
// line indented two spaces per level, lines ending in CR LF. An element with text among
// its children is written on one line with all its content and no added white space, so
// that no text changes on reading it back.
//
// Characters outside 7-bit ASCII:
// - in text and attribute values: numeric character references (&#233;). A byte that is
//   not part of valid UTF-8 (only a caller's write can put one there) is taken as the
//   ISO-8859-1 character of that value;
// - in CDATA sections: the section is written as escaped text instead, same characters;
// - in element and attribute names, comments, processing instructions and the document
//   type, which cannot hold references: the UTF-8 bytes as they are, and the
//   declaration then says encoding="utf-8". Nothing is lost and every reader sees the
//   same characters; such a file is valid UTF-8 rather than 7-bit ASCII. Host profiles
//   keep markup in ASCII, so in practice every file written is ASCII.
// A declaration naming a UTF-16 or UTF-32 encoding is written as "utf-8" too, since the
// bytes written are not UTF-16. Any other declared encoding stays: the text written is
// 7-bit ASCII, which reads the same in it (parseProfile declares "utf-8" instead for
// the few encodings in which ASCII bytes mean other characters, such as UTF-7).
// `sizeHint`, the size of the file the document came from, if known, saves regrowing the
// text as it is written.
std::string writeProfile(const pugi::xml_document& document, size_t sizeHint = 0);

}  // namespace tallymark::settings
