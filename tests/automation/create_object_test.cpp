// CreateObject, LoadFileObj::Start and InitControl against objects this test registers
// as running in the process's running-object table.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>

#include "automation/dispatch_win32.h"
#include "automation/load_file_obj.h"
#include "platform/unique_handle_win32.h"
#include "plugin/device.h"
#include "plugin/exports.h"
#include "recording_dispatch.h"

namespace {

const wchar_t kFallbackClsid[] = L"{CA7992B2-2653-4342-8061-D7D385C07809}";
const wchar_t kTestClsid[] = L"{5B0E1A4C-7D2F-4E43-9A61-0C2B6F1D8E37}";
const wchar_t kTestProgId[] = L"Tallymark.TestDocument";

CLSID clsidOf(const wchar_t* text) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK);
  return clsid;
}

// Registered as running for the guard's lifetime.
class Running {
 public:
  Running(IUnknown* object, const wchar_t* clsid)
      : hr_(RegisterActiveObject(object, clsidOf(clsid), ACTIVEOBJECT_STRONG, &cookie_)) {}
  ~Running() {
    if (SUCCEEDED(hr_)) RevokeActiveObject(cookie_, nullptr);
  }
  HRESULT result() const { return hr_; }

 private:
  DWORD cookie_ = 0;
  HRESULT hr_;
};

// The ProgID registered in the current user's classes for the guard's lifetime. Wine
// (8.0) does not merge the user's classes into the class root that CLSIDFromProgID
// reads; where the lookup cannot see the user's entry, the guard writes the same entry
// into the class root as well, and removes both.
class RegisteredProgId {
 public:
  RegisteredProgId(const wchar_t* progId, const wchar_t* clsid) : progId_(progId) {
    ok_ = writeClsid(HKEY_CURRENT_USER, keyFor(progId), clsid);
    CLSID seen;
    if (ok_ && FAILED(CLSIDFromProgID(progId, &seen))) {
      inClassRoot_ = true;
      ok_ = writeClsid(HKEY_CLASSES_ROOT, progId, clsid);
    }
  }
  ~RegisteredProgId() {
    // SHDeleteKeyW, not RegDeleteTreeW: the key and its subkeys with what XP has, which is
    // all the build's headers declare.
    SHDeleteKeyW(HKEY_CURRENT_USER, keyFor(progId_.c_str()).c_str());
    if (inClassRoot_) SHDeleteKeyW(HKEY_CLASSES_ROOT, progId_.c_str());
  }
  bool ok() const { return ok_; }
  static std::wstring keyFor(const wchar_t* progId) {
    return std::wstring(L"Software\\Classes\\") + progId;
  }

 private:
  static bool writeClsid(HKEY root, const std::wstring& progIdKey, const wchar_t* clsid) {
    tallymark::platform::UniqueHkey key;
    std::wstring clsidKey = progIdKey + L"\\CLSID";
    if (RegCreateKeyExW(root, clsidKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    DWORD bytes = static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                          bytes) == ERROR_SUCCESS;
  }

  std::wstring progId_;
  bool ok_ = false;
  bool inClassRoot_ = false;
};

bool progIdKeyExists(const wchar_t* progId) {
  tallymark::platform::UniqueHkey key;
  return RegOpenKeyExW(HKEY_CURRENT_USER, RegisteredProgId::keyFor(progId).c_str(), 0, KEY_READ,
                       key.put()) == ERROR_SUCCESS;
}

// The plug-in's own start-up while no automation object is registered as running (every
// registration in this program is scoped to its test).
TEST(InitControl, SucceedsWithoutARunningAutomationObject) {
  TrajBuffer engine{};
  _TrajectoryControl planner{};
  EXPECT_TRUE(InitControl(&engine, nullptr, &planner, nullptr));
  ASSERT_NE(MyDevice, nullptr);
  EXPECT_EQ(MyDevice->loadFileObj->docDispatch, nullptr);
  EXPECT_EQ(MyDevice->loadFileObj->scriptDispatch, nullptr);
}

TEST(CreateObject, UnregisteredProgIdFindsTheObjectRunningUnderTheFallbackClsid) {
  RecordingDispatch document;
  Running running(&document, kFallbackClsid);
  ASSERT_EQ(running.result(), S_OK);
  for (const wchar_t* progId : {L"Mach4.Document", L"Tallymark.NotRegistered"}) {
    IDispatch* found = nullptr;
    ASSERT_EQ(CreateObject(progId, &found), S_OK);
    EXPECT_EQ(found, static_cast<IDispatch*>(&document));
    if (found != nullptr) found->Release();
  }
}

TEST(CreateObject, RegisteredProgIdFindsTheObjectRunningUnderItsOwnClsid) {
  RecordingDispatch fallbackDocument;
  RecordingDispatch ownDocument;
  Running fallback(&fallbackDocument, kFallbackClsid);
  Running own(&ownDocument, kTestClsid);
  ASSERT_EQ(own.result(), S_OK);
  {
    RegisteredProgId progId(kTestProgId, kTestClsid);
    ASSERT_TRUE(progId.ok());
    IDispatch* found = nullptr;
    ASSERT_EQ(CreateObject(kTestProgId, &found), S_OK);
    EXPECT_EQ(found, static_cast<IDispatch*>(&ownDocument));
    if (found != nullptr) found->Release();
  }
  CLSID gone;
  EXPECT_FALSE(progIdKeyExists(kTestProgId)) << "the test leaves the registry as it found it";
  EXPECT_TRUE(FAILED(CLSIDFromProgID(kTestProgId, &gone)));
}

TEST(CreateObject, NothingRunningOrNoDispatchGivesAFailureAndANullPointer) {
  IDispatch* found = reinterpret_cast<IDispatch*>(0x1);
  HRESULT hr = CreateObject(L"Mach4.Document", &found);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(found, nullptr);

  BareUnknown bare;
  Running running(&bare, kFallbackClsid);
  ASSERT_EQ(running.result(), S_OK);
  found = reinterpret_cast<IDispatch*>(0x1);
  EXPECT_EQ(CreateObject(L"Mach4.Document", &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);
}

TEST(LoadFileObjStart, KeepsBothInterfacesWhenTheHostAnswersWithADispatch) {
  RecordingDispatch document;
  RecordingDispatch script;
  V_VT(&document.answer) = VT_DISPATCH;
  V_DISPATCH(&document.answer) = &script;
  script.AddRef();
  Running running(&document, kFallbackClsid);
  ASSERT_EQ(running.result(), S_OK);

  LoadFileObj holder;
  holder.Start();
  EXPECT_EQ(holder.docDispatch, static_cast<IDispatch*>(&document));
  EXPECT_EQ(holder.scriptDispatch, static_cast<IDispatch*>(&script));
  EXPECT_EQ(document.dispid, kScriptDispatchId);
  EXPECT_EQ(document.flags, DISPATCH_PROPERTYGET);
  EXPECT_EQ(document.cArgs, 0u);
  EXPECT_NE(document.resultPointer, nullptr);
  EXPECT_EQ(document.excepInfoPointer, nullptr);
  EXPECT_EQ(document.argErrPointer, nullptr);

  holder.Start();  // attached already: no second lookup
  EXPECT_EQ(document.calls, 1);
  if (holder.docDispatch != nullptr) holder.docDispatch->Release();
  if (holder.scriptDispatch != nullptr) holder.scriptDispatch->Release();
}

TEST(LoadFileObjStart, AnAnswerThatIsNoDispatchIsClearedAndNotKept) {
  FreeSpy spy;
  ASSERT_TRUE(spy.registered());
  RecordingDispatch document;
  V_VT(&document.answer) = VT_BSTR;
  V_BSTR(&document.answer) = SysAllocString(L"not an interface");
  Running running(&document, kFallbackClsid);
  ASSERT_EQ(running.result(), S_OK);

  LoadFileObj holder;
  holder.Start();
  EXPECT_EQ(holder.docDispatch, static_cast<IDispatch*>(&document));
  EXPECT_EQ(holder.scriptDispatch, nullptr);
  ASSERT_NE(document.answeredString, nullptr);
  EXPECT_TRUE(spy.freedString(document.answeredString));
  if (holder.docDispatch != nullptr) holder.docDispatch->Release();
}

TEST(LoadFileObjStart, AFailedLookupLeavesOnlyTheDocument) {
  RecordingDispatch document;
  document.invokeResult = DISP_E_MEMBERNOTFOUND;
  Running running(&document, kFallbackClsid);
  ASSERT_EQ(running.result(), S_OK);

  LoadFileObj holder;
  holder.Start();
  EXPECT_EQ(holder.docDispatch, static_cast<IDispatch*>(&document));
  EXPECT_EQ(holder.scriptDispatch, nullptr);
  if (holder.docDispatch != nullptr) holder.docDispatch->Release();
}

}  // namespace
