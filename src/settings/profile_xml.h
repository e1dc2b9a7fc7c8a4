// Reading profile bytes into a pugixml tree and writing a tree back as the profile's
// 7-bit ASCII text.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>

namespace tallymark::settings {

// Parses `text` (UTF-8, UTF-16/32 with a byte order mark, or a declared ISO-8859-1)
// into `document`, keeping the declaration, document type, comments and processing
// instructions. White space between elements is dropped; white space that is an
// element's only content is kept. Text outside the root element is an error, as in
// every other XML reader. On failure `document` holds whatever the parser
// reached; the caller resets it.
// The document is built inside `text`, which the parser rewrites: `text` must stay
// unchanged, in the same place, for as long as the document lives. A copy of a profile
// of a few megabytes is then not made.
pugi::xml_parse_result parseProfile(pugi::xml_document& document, std::string& text);

// The whole document as text: every node in document order, each element on its own
// line indented two spaces per level, lines ending in CR LF. An element with text among
// its children is written on one line with all its content and no added white space, so
// that no text changes on reading it back.
//
// Characters outside 7-bit ASCII:
// - in text and attribute values: numeric character references (&#233;). A byte that is
//   not part of valid UTF-8 (a file in an undeclared 8-bit code page) is taken as the
//   ISO-8859-1 character of that value;
// - in CDATA sections: the section is written as escaped text instead, same characters;
// - in element and attribute names, comments, processing instructions and the document
//   type, which cannot hold references: the UTF-8 bytes as they are, and the
//   declaration then says encoding="utf-8". Nothing is lost and every reader sees the
//   same characters; such a file is valid UTF-8 rather than 7-bit ASCII. Host profiles
//   keep markup in ASCII, so in practice every file written is ASCII.
// A declaration naming a UTF-16 or UTF-32 encoding is written as "utf-8" too, since the
// bytes written are not UTF-16.
// `sizeHint`, the size of the file the document came from, if known, saves regrowing the
// text as it is written.
std::string writeProfile(const pugi::xml_document& document, size_t sizeHint = 0);

}  // namespace tallymark::settings
