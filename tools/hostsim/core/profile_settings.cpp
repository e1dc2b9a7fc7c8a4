#include "profile_settings.h"

namespace tallymark::hostsim {
namespace {

std::string unescape(std::string_view text) {
  static const struct {
    std::string_view entity;
    char c;
  } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& e : kEntities) {
      if (text.substr(i, e.entity.size()) == e.entity) {
        out += e.c;
        i += e.entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

std::string element(std::string_view section, const std::string& name) {
  const std::string open = "<" + name + ">";
  const size_t start = section.find(open);
  if (start == std::string_view::npos) return {};
  const size_t end = section.find("</" + name + ">", start + open.size());
  if (end == std::string_view::npos) return {};
  return unescape(section.substr(start + open.size(), end - start - open.size()));
}

}  // namespace

BatchSettings readBatchSettings(std::string_view xml) {
  BatchSettings s;
  const size_t begin = xml.find("<Dazada_Ruvazidu>");
  if (begin == std::string_view::npos) return s;
  const size_t end = xml.find("</Dazada_Ruvazidu>", begin);
  if (end == std::string_view::npos) return s;
  const std::string_view section = xml.substr(begin, end - begin);
  s.found = true;
  s.requiredParts = element(section, "RequiredParts");
  s.led = element(section, "RequiredPartsLED");
  s.code = element(section, "RequiredPartsCode");
  return s;
}

std::string describeBatchSettings(const BatchSettings& s, bool ledLit) {
  if (s.requiredParts.empty()) return "RequiredParts: off (not in the profile)";
  std::string text = "RequiredParts " + s.requiredParts;
  text += s.led.empty() ? ", no LED" : ", LED " + s.led + (ledLit ? " (ON)" : " (off)");
  text += s.code.empty() ? ", no code line" : ", code \"" + s.code + "\"";
  return text;
}

}  // namespace tallymark::hostsim
