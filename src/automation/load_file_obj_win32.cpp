#include "automation/dispatch_win32.h"
#include "automation/load_file_obj.h"

void LoadFileObj::Start() {
  if (docDispatch != nullptr) return;  // attached already; a second start would leak
  if (FAILED(CreateObject(L"Mach4.Document", &docDispatch))) return;

  VARIANT result;
  VariantInit(&result);
  HRESULT hr = Invoke(docDispatch, DISPATCH_PROPERTYGET, &result, nullptr, nullptr,
                      L"GetScriptDispatch", "");
  // Anything but an interface pointer (a string, a number, a by-reference variant) is
  // not a script dispatch: release whatever it holds instead of reading its pointer field.
  if (SUCCEEDED(hr) && V_VT(&result) == VT_DISPATCH) {
    scriptDispatch = V_DISPATCH(&result);
  } else {
    VariantClear(&result);
  }
}
