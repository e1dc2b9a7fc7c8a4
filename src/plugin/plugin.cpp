#include "plugin/plugin.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "automation/load_file_obj.h"
#include "counter/config_dialog.h"
#include "counter/counter_rule.h"
#include "counter/counter_window.h"
#include "plugin/device.h"
#include "plugin/host.h"
#include "plugin/menu.h"
#include "plugin/mg.h"
#include "plugin/monitoring.h"
#include "plugin/operator_status.h"
#include "plugin/required_parts.h"
#include "plugin/run_record.h"
#include "plugin/settings_globals.h"
#include "plugin/state.h"

namespace counter = tallymark::counter;
namespace plugin = tallymark::plugin;

int menuStart = 0;

bool piInitControl() {
  // One identifier for the life of the plug-in: the item already in the menu carries the
  // first one, and a second InitControl must not leave it unanswered.
  bool& menuReserved = plugin::state().menuReserved;
  if (!menuReserved && GetMenuRange != nullptr) {
    menuStart = GetMenuRange(1);
    menuReserved = true;
  }
  // A host that calls InitControl twice keeps the one device object.
  if (MyDevice == nullptr) {
    // Without memory for the device the plug-in goes on without it: the counter still
    // counts, only the console and the automation attachment are missing.
    MyDevice = new (std::nothrow) MyDeviceClass();
    if (MyDevice == nullptr) return true;
    MyDevice->InitControl();
    MyDevice->loadFileObj->Start();
  }
  return true;
}

void piPostInitControl() {
  plugin::appendPluginMenuItem();
  // Created once, hidden, with its refresh timer running; a second PostInitControl keeps
  // the one window. Published only with its view attached, so that a failure on the way
  // leaves nothing half made for the next call.
  if (MG::dazada_ruvaziduDlg == nullptr) {
    auto window = std::make_unique<DAZADA_RUVAZIDU>(plugin::state().environment);
    window->attachView(counter::createCounterView(*window));
    MG::dazada_ruvaziduDlg = window.release();
    plugin::showStatusInWindow();
  }
  plugin::startMonitoring();
}

void piConfig() {
  ConfigDialog dialog;
  dialog.showDialog(plugin::findHostFrame());
}

void piUpdate() {
  // Taken afresh on every tick: a host may hand over new callbacks at any time.
  const counter::HostAccess host{GetDRO, SetDRO, GetLED};
  const counter::TickOutcome outcome = counter::counterTick(MG::dazada_ruvaziduDlg, host);
  if (outcome.eventful()) plugin::followTick(outcome);
  // Asked for once: each step below reads it.
  plugin::State& current = plugin::state();
  plugin::followRequiredParts(current, outcome);
  if (plugin::runLogNeedsService(current)) plugin::serviceRunLog();
  plugin::publishMonitoring(current, outcome);
  plugin::pollStatus(current);
  if (MyDevice != nullptr) MyDevice->Update();
}

void tallymark::plugin::resetForTests(platform::Environment environment) {
  // The window refers to the state's environment: it goes first.
  delete MG::dazada_ruvaziduDlg;
  MG::dazada_ruvaziduDlg = nullptr;
  delete MyDevice;
  MyDevice = nullptr;
  menuStart = 0;
  GetDRO = nullptr;
  SetDRO = nullptr;
  GetLED = nullptr;
  SetLED = nullptr;
  Code = nullptr;
  DoButton = nullptr;
  GetMenuRange = nullptr;
  Engine = nullptr;
  _setup = nullptr;
  MainPlanner = nullptr;
  MachView = nullptr;
  delete[] ProfileName;
  ProfileName = nullptr;
  MG::xyzDemoConfig = nullptr;
  CamType = 0;
  IPCamPath.set(std::string());
  AutoStart = false;
  AutoScan = false;
  AngleTol = 0.0;
  LenTol = 0.0;
  Pixelpermm = 0.0;
  for (bool& direction : ExtScanSelect) direction = false;
  ExtScanLen = 0.0;
  for (tcp_data& position : CamPosData) position = tcp_data{};
  detail::replaceState(std::move(environment));
}

void piNotify(int id) {
  if (id == menuStart && MG::dazada_ruvaziduDlg != nullptr) MG::dazada_ruvaziduDlg->showAndFocus();
}
