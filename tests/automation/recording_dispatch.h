// Hand-written COM test objects: an IDispatch that records every call it receives and
// answers as a test tells it, a bare IUnknown, and an allocator spy that sees the
// task allocator's frees (BSTRs are freed through it once the string cache is off).
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

constexpr DISPID kMemberId = 7;
constexpr DISPID kScriptDispatchId = 8;

class RecordingDispatch : public IDispatch {
 public:
  // Members: "Member" and "GetScriptDispatch"; any other name is unknown.
  RecordingDispatch();
  ~RecordingDispatch();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  LONG refs = 1;  // the creator's reference; the object is never deleted through Release

  // What the test wants answered.
  HRESULT invokeResult = S_OK;
  VARIANT answer;  // copied into the caller's result, when one is given
  VARIANT_BOOL byRefBoolAnswer = VARIANT_TRUE;  // written through every "&b"

  // What was received.
  int lookups = 0;
  std::wstring lookedUpName;
  LCID lookupLocale = 0;
  bool lookupIidNull = false;
  int calls = 0;
  DISPID dispid = 0;
  WORD flags = 0;
  LCID callLocale = 0;
  bool callIidNull = false;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
  DISPID namedArg = 0;
  bool rgvargNull = false;
  std::vector<VARIANT> args;           // shallow copies of the slots, in slot order
  std::vector<std::wstring> argTexts;  // the text of each VT_BSTR slot
  std::vector<LONG> byRefBoolSeen;     // each "&b" flag's whole 32 bits on entry
  VARIANT* resultPointer = nullptr;
  VARTYPE resultTypeOnEntry = VT_ILLEGAL;
  EXCEPINFO* excepInfoPointer = nullptr;
  UINT* argErrPointer = nullptr;
  BSTR answeredString = nullptr;  // the string copy handed to the caller, if any
};

// An object with no IDispatch.
class BareUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  LONG refs = 1;
};

// Registered while it lives; turns the BSTR cache off so that every SysFreeString
// reaches the task allocator.
class FreeSpy : public IMallocSpy {
 public:
  FreeSpy();
  ~FreeSpy();
  bool registered() const { return registered_; }
  // True when a block that holds `text` (a BSTR) was freed since the spy was made.
  bool freedString(BSTR text) const;
  size_t allocations() const { return allocations_; }
  size_t outstanding() const;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cbRequest) override { return cbRequest; }
  void* STDMETHODCALLTYPE PostAlloc(void* pActual) override;
  void* STDMETHODCALLTYPE PreFree(void* pRequest, BOOL) override;
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest,
                                      BOOL) override;
  void* STDMETHODCALLTYPE PostRealloc(void* pActual, BOOL) override;
  void* STDMETHODCALLTYPE PreGetSize(void* pRequest, BOOL) override { return pRequest; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* pRequest, BOOL) override { return pRequest; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int fActual) override { return fActual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  bool registered_ = false;
  std::vector<char*> freed_;
  size_t allocations_ = 0;
  std::set<void*> live_;
};
