// The host's automation object: a document object registered as running under the
// host's CLSID, whose "GetScriptDispatch" property hands out a script object. The
// plug-in finds it through the running-object table in this same process.

// windows.h before the headers that build on it.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <cwchar>

#include "host_win32.h"
#include "platform/unique_handle_win32.h"

namespace tallymark::hostsim {

namespace {

const wchar_t kProgId[] = L"Mach4.Document";
const wchar_t kClsidText[] = L"{CA7992B2-2653-4342-8061-D7D385C07809}";
constexpr DISPID kGetScriptDispatch = 1;

// IDispatch with reference counting; the objects live until the process ends, since the
// plug-in keeps its references for good.
class DispatchBase : public IDispatch {
 public:
  virtual ~DispatchBase() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }

 private:
  LONG refs_ = 1;
};

// The script engine's object: the plug-in only holds it.
class ScriptObject : public DispatchBase {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

class DocumentObject : public DispatchBase {
 public:
  explicit DocumentObject(Host& h) : host_(h) {}

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    // Automation names are case-insensitive.
    const bool known = names[0] != nullptr && _wcsicmp(names[0], L"GetScriptDispatch") == 0;
    ids[0] = known ? kGetScriptDispatch : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return known && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != kGetScriptDispatch) return DISP_E_MEMBERNOTFOUND;
    if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params != nullptr && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    ++host_.scriptDispatchRequests;
    std::printf("hostsim: automation: the plug-in asked for GetScriptDispatch\n");
    std::fflush(stdout);
    if (result != nullptr) {
      VariantInit(result);
      result->vt = VT_DISPATCH;
      result->pdispVal = new ScriptObject();  // the caller owns this reference
    }
    return S_OK;
  }

 private:
  Host& host_;
};

// Makes the ProgID name the host's CLSID for this user while the substitute host runs,
// unless it names a class already. Returns true when it added the key.
bool addProgId(const CLSID& clsid) {
  CLSID existing;
  if (SUCCEEDED(CLSIDFromProgID(kProgId, &existing))) {
    if (!IsEqualCLSID(existing, clsid))
      std::fprintf(stderr,
                   "hostsim: %ls already names another class on this machine; the plug-in "
                   "will look for that one first\n",
                   kProgId);
    return false;
  }
  platform::UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\Mach4.Document\\CLSID", 0, nullptr, 0,
                      KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kClsidText),
                 sizeof kClsidText);
  return true;
}

}  // namespace

AutomationRegistration registerAutomation(Host& h) {
  AutomationRegistration registration;
  CLSID clsid;
  CLSIDFromString(const_cast<LPOLESTR>(kClsidText), &clsid);
  registration.progIdAdded = addProgId(clsid);
  DocumentObject* document = new DocumentObject(h);
  // Wine starts its running-object table service on first use, and the first call may
  // find it not yet up: try for a few seconds before giving up.
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < 10; ++attempt) {
    hr = RegisterActiveObject(document, clsid, ACTIVEOBJECT_STRONG, &registration.cookie);
    if (SUCCEEDED(hr)) break;
    Sleep(500);
  }
  document->Release();  // the running-object table holds it now
  if (FAILED(hr)) {
    registration.cookie = 0;
    std::fprintf(stderr, "hostsim: cannot register the automation object (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
    return registration;
  }
  // The plug-in will look it up the same way; say so now if that cannot work.
  IUnknown* running = nullptr;
  hr = GetActiveObject(clsid, nullptr, &running);
  if (FAILED(hr))
    std::fprintf(stderr, "hostsim: the automation object is registered but not found (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
  else
    running->Release();
  return registration;
}

void revokeAutomation(const AutomationRegistration& registration) {
  if (registration.cookie != 0) RevokeActiveObject(registration.cookie, nullptr);
  if (registration.progIdAdded) {
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\Mach4.Document\\CLSID");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\Mach4.Document");
  }
}

}  // namespace tallymark::hostsim
