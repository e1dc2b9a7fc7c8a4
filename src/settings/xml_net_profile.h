// Typed access to one section of an XML settings file (the host's profile).
//
// An instance lives for one task: construct, Load, read and write, perhaps Save. It
// works on its own in-memory copy of the whole file; writes reach the file only through
// Save, and two instances on one file do not see each other's changes. Keys are element
// paths below the section element, the first child element of the root named
// `sectionName`; with `simplePath` a key is split at every "/" ("Axis/X"). Every step
// takes the first child element whose name matches exactly.
//
// Numbers are read and written in the culture-invariant form of profile_values.h,
// whatever the process's locale.
//
// Failures are reported to the operator in a modal box ("Warning - " and the reason,
// caption "XMLNetProfile") and as false; reads never fail and fall back to their
// default. Not thread-safe; the plug-in uses it on the host's user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "platform/environment.h"

class XMLNetProfile {
 public:
  // Touches no file.
  XMLNetProfile(std::string profileFileSpec, std::string sectionName, bool simplePath);

  // Replaces the document with the file's. A file that cannot be read or is not
  // well-formed leaves the document empty, is reported, and gives false.
  bool Load();
  // Replaces the file with the document, crash-safely: until the new file is complete
  // on the disk the old one stays as it was. A failure is reported and gives false, and
  // the file is then untouched.
  bool Save();

  // Load and Save without the file: the same parsing, reporting and text.
  bool loadFromBytes(const std::string& bytes);
  std::string saveToBytes() const;

  // A missing element gives the default. A bool is true only for the text "True"; a
  // malformed number gives the default; a text is all text inside the element.
  bool ReadBool(const std::string& entry, bool defaultValue = false) const;
  int32_t ReadInt(const std::string& entry, int32_t defaultValue = 0) const;
  double ReadDouble(const std::string& entry, double defaultValue = 0.0) const;
  std::string ReadString(const std::string& entry, const std::string& defaultValue = "") const;

  void WriteBool(const std::string& entry, bool value);
  void WriteInt(const std::string& entry, int32_t value);
  void WriteDouble(const std::string& entry, double value);
  void WriteString(const std::string& entry, const std::string& value);

  // The key's element, or an empty node; never changes the document.
  pugi::xml_node FindEntry(const std::string& entry) const;
  // Makes the key's element (and the root "profile", the section and every element on
  // the way, when missing) and replaces everything inside it with `innerText`.
  // A path component that is not a valid XML name (an empty one included) would make
  // the saved file unreadable: the document is then left unchanged and the result is
  // false.
  bool SetEntry(const std::string& entry, const std::string& innerText);

  const pugi::xml_document& document() const { return profileDocument; }

  // The native window (an HWND on Windows) that the warning boxes belong to, or null. An
  // owned box keeps its owner disabled and stays in front of it.
  void setMessageOwner(void* owner) { messageOwner = owner; }

  // Where the file is written and the warnings are shown; the system's unless set. It
  // must outlive the profile object.
  void setEnvironment(const tallymark::platform::Environment& env) { environment = &env; }

 private:
  bool loadText(std::string text);

  // The loaded file's text, in which the parser built the document. It must stay where
  // it is while the document lives, also when the profile object is moved, hence the
  // pointer; declared before the document so that it outlives it. Null until a load.
  std::unique_ptr<std::string> documentText;
  pugi::xml_document profileDocument;
  std::string profileFileSpec;
  std::string sectionName;
  bool simplePath;
  void* messageOwner = nullptr;
  const tallymark::platform::Environment* environment = &tallymark::platform::systemEnvironment();
};
