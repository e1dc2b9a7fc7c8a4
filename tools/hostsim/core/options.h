// hostsim's command line.
#pragma once

#include <string>
#include <vector>

namespace tallymark::hostsim {

struct Options {
  std::string dll;           // empty: TALLY_MARK.dll beside hostsim.exe
  std::string profile;       // empty: Mach3Mill.xml in the working folder
  std::string state;         // empty: hostsim-state.txt beside the profile
  std::string script;        // empty: interactive
  std::string controller;    // empty: do not act as the outside program
  int timeoutSeconds = 600;  // a script that runs longer has hung
  bool help = false;
};

// Returns an empty text on success, otherwise what is wrong with the arguments.
std::string parseOptions(const std::vector<std::string>& args, Options& options);

const char* usageText();

// `path` with its last component replaced by `name`; both '/' and '\\' separate.
std::string besideFile(const std::string& path, const std::string& name);

}  // namespace tallymark::hostsim
