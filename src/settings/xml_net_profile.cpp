#include "settings/xml_net_profile.h"

#include <utility>
#include <vector>

#include "platform/environment.h"
#include "settings/profile_values.h"
#include "settings/profile_xml.h"

namespace {

void report(const tallymark::platform::Environment& environment, const std::string& description,
            void* owner) {
  environment.showMessage("Warning - " + description, "XMLNetProfile",
                          tallymark::platform::MessageButtons::Ok, owner);
}

std::vector<std::string> splitPath(const std::string& section, const std::string& entry,
                                   bool simplePath) {
  std::vector<std::string> path{section};
  if (!simplePath) {
    path.push_back(entry);
    return path;
  }
  size_t start = 0;
  for (;;) {
    size_t slash = entry.find('/', start);
    path.push_back(entry.substr(start, slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return path;
}

pugi::xml_node firstChildElement(pugi::xml_node parent, const std::string& name) {
  if (name.empty()) return {};
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && name == child.name()) return child;
  }
  return {};
}

// XML names, with everything from U+0080 up accepted as a name character.
bool isXmlName(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool start =
        c >= 0x80 || c == '_' || c == ':' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool inner = start || c == '-' || c == '.' || (c >= '0' && c <= '9');
    if (i == 0 ? !start : !inner) return false;
  }
  return true;
}

// An element that held only white space (an empty section written over several lines)
// and now gains a child element: that white space was layout, and it would be dropped
// when the saved file is read again, so it goes now and the file is laid out at once.
void dropLayoutWhiteSpace(pugi::xml_node parent) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_pcdata) return;
    for (const char* c = child.value(); *c != '\0'; ++c) {
      if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r') return;
    }
  }
  while (parent.first_child()) parent.remove_child(parent.first_child());
}

}  // namespace

XMLNetProfile::XMLNetProfile(std::string profileFileSpec, std::string sectionName, bool simplePath)
    : profileFileSpec(std::move(profileFileSpec)),
      sectionName(std::move(sectionName)),
      simplePath(simplePath) {}

bool XMLNetProfile::Load() {
  profileDocument.reset();
  std::string text;
  std::string error;
  if (!tallymark::platform::readWholeFile(profileFileSpec, text, error)) {
    documentText.reset();
    report(*environment, error, messageOwner);
    return false;
  }
  return loadText(std::move(text));
}

bool XMLNetProfile::loadFromBytes(const std::string& bytes) {
  return loadText(bytes);
}

bool XMLNetProfile::loadText(std::string text) {
  // The document is built inside its text; the old document goes before its text does.
  profileDocument.reset();
  documentText = std::make_unique<std::string>(std::move(text));
  tallymark::settings::ProfileParseResult result =
      tallymark::settings::parseProfile(profileDocument, *documentText);
  if (!result) {
    profileDocument.reset();
    documentText.reset();
    report(*environment, result.error, messageOwner);
    return false;
  }
  return true;
}

std::string XMLNetProfile::saveToBytes() const {
  // The loaded file's size is a good guess of the size written.
  return tallymark::settings::writeProfile(profileDocument,
                                           documentText ? documentText->size() : 0);
}

bool XMLNetProfile::Save() {
  std::string error;
  if (!environment->replaceFile(profileFileSpec, saveToBytes(), error)) {
    report(*environment, error, messageOwner);
    return false;
  }
  return true;
}

pugi::xml_node XMLNetProfile::FindEntry(const std::string& entry) const {
  pugi::xml_node node = profileDocument.document_element();
  for (const std::string& name : splitPath(sectionName, entry, simplePath)) {
    if (!node) break;
    node = firstChildElement(node, name);
  }
  return node;
}

bool XMLNetProfile::SetEntry(const std::string& entry, const std::string& innerText) {
  std::vector<std::string> path = splitPath(sectionName, entry, simplePath);
  for (const std::string& name : path) {
    if (!isXmlName(name)) return false;
  }
  pugi::xml_node node = profileDocument.document_element();
  if (!node) node = profileDocument.append_child("profile");
  for (const std::string& name : path) {
    pugi::xml_node child = firstChildElement(node, name);
    if (!child) {
      dropLayoutWhiteSpace(node);
      child = node.append_child(name.c_str());
    }
    node = child;
  }
  while (node.first_child()) node.remove_child(node.first_child());
  // No text node for an empty text: the element is then empty, exactly as it reads
  // back from the saved file.
  if (!innerText.empty()) node.append_child(pugi::node_pcdata).set_value(innerText.c_str());
  return true;
}

bool XMLNetProfile::ReadBool(const std::string& entry, bool defaultValue) const {
  pugi::xml_node node = FindEntry(entry);
  if (!node) return defaultValue;
  return tallymark::settings::parseBool(ReadString(entry));
}

int32_t XMLNetProfile::ReadInt(const std::string& entry, int32_t defaultValue) const {
  if (!FindEntry(entry)) return defaultValue;
  return tallymark::settings::parseInt(ReadString(entry)).value_or(defaultValue);
}

double XMLNetProfile::ReadDouble(const std::string& entry, double defaultValue) const {
  if (!FindEntry(entry)) return defaultValue;
  return tallymark::settings::parseDouble(ReadString(entry)).value_or(defaultValue);
}

std::string XMLNetProfile::ReadString(const std::string& entry,
                                      const std::string& defaultValue) const {
  pugi::xml_node element = FindEntry(entry);
  if (!element) return defaultValue;
  std::string text;
  pugi::xml_node node = element.first_child();
  while (node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != element && !node.next_sibling()) node = node.parent();
    node = node == element ? pugi::xml_node() : node.next_sibling();
  }
  return text;
}

void XMLNetProfile::WriteBool(const std::string& entry, bool value) {
  WriteString(entry, tallymark::settings::formatBool(value));
}

void XMLNetProfile::WriteInt(const std::string& entry, int32_t value) {
  WriteString(entry, tallymark::settings::formatInt(value));
}

void XMLNetProfile::WriteDouble(const std::string& entry, double value) {
  WriteString(entry, tallymark::settings::formatDouble(value));
}

void XMLNetProfile::WriteString(const std::string& entry, const std::string& value) {
  SetEntry(entry, value);
}
