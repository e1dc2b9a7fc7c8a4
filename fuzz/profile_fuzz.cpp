// Profile load, typed reads and writes, save, reload: never a crash, a reload of a saved
// profile always succeeds, and saving the reloaded profile gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "settings/xml_net_profile.h"

namespace {

// Every box answered at once and silently.
const tallymark::platform::Environment& quiet() {
  static const tallymark::platform::Environment environment = [] {
    tallymark::platform::Environment e;
    e.messages = [](const tallymark::platform::MessageRequest&) {
      return tallymark::platform::MessageAnswer::Ok;
    };
    return e;
  }();
  return environment;
}

[[noreturn]] void fail(const char* what, const std::string& first, const std::string& second) {
  std::fprintf(stderr, "%s\n--- first\n%s\n--- second\n%s\n", what, first.c_str(), second.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  XMLNetProfile profile("fuzz.xml", "Dazada_Ruvazidu", true);
  profile.setEnvironment(quiet());
  if (!profile.loadFromBytes(bytes)) return 0;

  // The reads the plug-in makes, and writes that create and replace elements.
  profile.ReadBool("Axis/X", true);
  profile.ReadInt("CamType", 0);
  profile.ReadDouble("Pos1X", 0.0);
  std::string path = profile.ReadString("IPCamPath", "");
  profile.WriteInt("Count", 7);
  profile.WriteString("IPCamPath", path + "\xC3\xA9");

  std::string first = profile.saveToBytes();
  XMLNetProfile reloaded("fuzz.xml", "Dazada_Ruvazidu", true);
  reloaded.setEnvironment(quiet());
  if (!reloaded.loadFromBytes(first)) fail("a saved profile does not load again", first, "");
  std::string second = reloaded.saveToBytes();
  if (first != second) fail("the second save differs from the first", first, second);
  if (reloaded.ReadString("IPCamPath", "") != path + "\xC3\xA9") {
    fail("a written text did not survive the round trip", first, second);
  }
  return 0;
}
