// The static holder of the plug-in's two singletons.
#pragma once

struct XYZDemoConfig;
class DAZADA_RUVAZIDU;

class MG {
 public:
  // The settings record of the latest SetProName; null before it. Replaced, never freed
  // while the module is loaded.
  static XYZDemoConfig* xyzDemoConfig;
  // The counter window with the counter state; created once by PostInitControl, never
  // destroyed. Null before PostInitControl, and the update tick does nothing until then.
  static DAZADA_RUVAZIDU* dazada_ruvaziduDlg;
};
