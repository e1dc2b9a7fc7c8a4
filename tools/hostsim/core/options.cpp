#include "options.h"

#include <cstdlib>

namespace tallymark::hostsim {

std::string parseOptions(const std::vector<std::string>& args, Options& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
      continue;
    }
    std::string* target = nullptr;
    if (arg == "--dll")
      target = &options.dll;
    else if (arg == "--profile")
      target = &options.profile;
    else if (arg == "--state")
      target = &options.state;
    else if (arg == "--script")
      target = &options.script;
    else if (arg == "--controller")
      target = &options.controller;
    else if (arg != "--timeout")
      return "unknown option " + arg;
    if (i + 1 >= args.size() || args[i + 1].empty()) return arg + " needs a value";
    const std::string& value = args[++i];
    if (target != nullptr) {
      *target = value;
      continue;
    }
    char* end = nullptr;
    long seconds = std::strtol(value.c_str(), &end, 10);
    if (*end != '\0' || seconds < 1 || seconds > 86400)
      return "--timeout needs seconds from 1 to 86400";
    options.timeoutSeconds = static_cast<int>(seconds);
  }
  return {};
}

const char* usageText() {
  return "usage: hostsim [--dll TALLY_MARK.dll] [--profile PROFILE.xml] [--state STATE.txt]\n"
         "               [--script FILE] [--controller HOST] [--timeout SECONDS]\n"
         "Loads the plug-in as the host does and runs it: interactively, or the steps of\n"
         "a script (exit status 0 when every expectation held, 1 when one failed,\n"
         "2 for a usage or start-up error, 3 when the script did not finish in time).\n";
}

std::string besideFile(const std::string& path, const std::string& name) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

}  // namespace tallymark::hostsim
