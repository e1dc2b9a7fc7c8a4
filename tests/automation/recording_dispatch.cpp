#include "recording_dispatch.h"

#include <algorithm>

RecordingDispatch::RecordingDispatch() {
  VariantInit(&answer);
}

RecordingDispatch::~RecordingDispatch() {
  VariantClear(&answer);
}

HRESULT RecordingDispatch::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG RecordingDispatch::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs));
}

ULONG RecordingDispatch::Release() {
  return static_cast<ULONG>(InterlockedDecrement(&refs));
}

HRESULT RecordingDispatch::GetTypeInfoCount(UINT* pctinfo) {
  *pctinfo = 0;
  return S_OK;
}

HRESULT RecordingDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT RecordingDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                         DISPID* rgDispId) {
  ++lookups;
  lookupIidNull = riid == IID_NULL;
  lookupLocale = lcid;
  if (cNames != 1) return E_INVALIDARG;
  lookedUpName = rgszNames[0];
  if (lookedUpName == L"Member") {
    rgDispId[0] = kMemberId;
  } else if (lookedUpName == L"GetScriptDispatch") {
    rgDispId[0] = kScriptDispatchId;
  } else {
    rgDispId[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

HRESULT RecordingDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                  DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                  EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  ++calls;
  dispid = dispIdMember;
  callIidNull = riid == IID_NULL;
  callLocale = lcid;
  flags = wFlags;
  cArgs = pDispParams->cArgs;
  cNamedArgs = pDispParams->cNamedArgs;
  namedArg = cNamedArgs > 0 ? pDispParams->rgdispidNamedArgs[0] : 0;
  rgvargNull = pDispParams->rgvarg == nullptr;
  args.assign(pDispParams->rgvarg, pDispParams->rgvarg + cArgs);
  argTexts.clear();
  byRefBoolSeen.clear();
  for (VARIANT& arg : args) {
    if (V_VT(&arg) == VT_BSTR) argTexts.emplace_back(V_BSTR(&arg));
    if (V_VT(&arg) == (VT_BYREF | VT_BOOL)) {
      // The caller hands over a 32-bit flag; look at all of it, then answer in the
      // 16 bits a VARIANT_BOOL has.
      byRefBoolSeen.push_back(*reinterpret_cast<LONG*>(V_BOOLREF(&arg)));
      *V_BOOLREF(&arg) = byRefBoolAnswer;
    }
  }
  resultPointer = pVarResult;
  resultTypeOnEntry = pVarResult != nullptr ? V_VT(pVarResult) : VARTYPE{VT_ILLEGAL};
  excepInfoPointer = pExcepInfo;
  argErrPointer = puArgErr;
  if (FAILED(invokeResult)) return invokeResult;
  if (pVarResult != nullptr) {
    VariantCopy(pVarResult, &answer);
    if (V_VT(pVarResult) == VT_BSTR) answeredString = V_BSTR(pVarResult);
  }
  return invokeResult;
}

HRESULT BareUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown) {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG BareUnknown::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs));
}

ULONG BareUnknown::Release() {
  return static_cast<ULONG>(InterlockedDecrement(&refs));
}

FreeSpy::FreeSpy() {
  typedef void(WINAPI * SetOaNoCacheFn)();
  auto setOaNoCache = reinterpret_cast<SetOaNoCacheFn>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"oleaut32.dll"), "SetOaNoCache")));
  if (setOaNoCache != nullptr) setOaNoCache();
  registered_ = setOaNoCache != nullptr && SUCCEEDED(CoRegisterMallocSpy(this));
}

FreeSpy::~FreeSpy() {
  if (registered_) CoRevokeMallocSpy();
}

bool FreeSpy::freedString(BSTR text) const {
  const char* chars = reinterpret_cast<const char*>(text);
  // A BSTR starts a few bytes into its block, behind its length prefix.
  return std::any_of(freed_.begin(), freed_.end(),
                     [chars](const char* block) { return block <= chars && chars - block <= 16; });
}

size_t FreeSpy::outstanding() const {
  return live_.size();
}

HRESULT FreeSpy::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
    *ppv = static_cast<IMallocSpy*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void* FreeSpy::PostAlloc(void* pActual) {
  if (pActual != nullptr) {
    ++allocations_;
    live_.insert(pActual);
  }
  return pActual;
}

void* FreeSpy::PreFree(void* pRequest, BOOL) {
  if (pRequest != nullptr) {
    freed_.push_back(static_cast<char*>(pRequest));
    live_.erase(pRequest);
  }
  return pRequest;
}

SIZE_T FreeSpy::PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest, BOOL) {
  live_.erase(pRequest);
  *ppNewRequest = pRequest;
  return cbRequest;
}

void* FreeSpy::PostRealloc(void* pActual, BOOL) {
  if (pActual != nullptr) live_.insert(pActual);
  return pActual;
}
