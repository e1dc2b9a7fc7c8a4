#include "plugin/mg.h"

XYZDemoConfig* MG::xyzDemoConfig = nullptr;
DAZADA_RUVAZIDU* MG::dazada_ruvaziduDlg = nullptr;
