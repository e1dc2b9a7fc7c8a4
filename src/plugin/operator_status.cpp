#include "plugin/operator_status.h"

#include <cstdio>

#include "counter/counter_window.h"
#include "plugin/mg.h"
#include "plugin/state.h"
#include "server/shared_server.h"

namespace tallymark::plugin {

namespace {

counter::StatusLine& statusLine() {
  return state().statusLine;
}

}  // namespace

void showStatus(counter::StatusSource source, std::string_view text) {
  if (statusLine().set(source, text)) showStatusInWindow();
}

const std::string& statusText() {
  return statusLine().text();
}

void showStatusInWindow() {
  if (MG::dazada_ruvaziduDlg != nullptr) MG::dazada_ruvaziduDlg->lblStatus.setText(statusText());
}

void pollStatusSources() {
  state().statusPollCountdown = kStatusPollTicks;
  const bool failed = state().commandServer.lastStart() == server::SharedServerStart::Failed;
  char text[80] = "";
  if (failed) {
    std::snprintf(text, sizeof text, "Commands: port %u is in use by another program",
                  static_cast<unsigned>(server::kCommandPort));
  }
  showStatus(counter::StatusSource::CommandServer, text);
}

}  // namespace tallymark::plugin
