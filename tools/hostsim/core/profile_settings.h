// The plug-in's batch settings as the profile holds them, for the panel: the texts of
// RequiredParts, RequiredPartsLED and RequiredPartsCode in the section
// "Dazada_Ruvazidu", as written (the plug-in decides what they mean).
#pragma once

#include <string>
#include <string_view>

namespace tallymark::hostsim {

struct BatchSettings {
  bool found = false;                    // the section is there
  std::string requiredParts, led, code;  // empty when missing
};

// `xml` is the profile file's text (UTF-8). Reads plain elements of the section, with
// the five predefined entities; anything fancier shows as written.
BatchSettings readBatchSettings(std::string_view xml);

// "RequiredParts 5, LED 1050 (on), code "M30"" or "RequiredParts: off".
std::string describeBatchSettings(const BatchSettings& settings, bool ledLit);

}  // namespace tallymark::hostsim
