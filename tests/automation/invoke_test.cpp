// Invoke and its format machinery against an in-process IDispatch that records what it
// receives.
#include <gtest/gtest.h>

#include "automation/dispatch_win32.h"
#include "recording_dispatch.h"

namespace {

TEST(Invoke, SlotsAreFilledLastToFirstWithTheLettersTypes) {
  RecordingDispatch target;
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "Ii", 10, 3),
            S_OK);
  ASSERT_EQ(target.calls, 1);
  EXPECT_EQ(target.dispid, kMemberId);
  EXPECT_TRUE(target.lookupIidNull);
  EXPECT_TRUE(target.callIidNull);
  EXPECT_EQ(target.lookupLocale, static_cast<LCID>(LOCALE_USER_DEFAULT));
  EXPECT_EQ(target.callLocale, static_cast<LCID>(LOCALE_USER_DEFAULT));
  EXPECT_EQ(target.flags, DISPATCH_METHOD);
  EXPECT_EQ(target.cNamedArgs, 0u);
  ASSERT_EQ(target.cArgs, 2u);
  EXPECT_EQ(V_VT(&target.args[0]), VT_I2);
  EXPECT_EQ(V_I2(&target.args[0]), 3);
  EXPECT_EQ(V_VT(&target.args[1]), VT_I4);
  EXPECT_EQ(V_I4(&target.args[1]), 10);
}

// Every letter in one call: a wrong variadic width for any of them shifts all the
// arguments after it, so the last ones show it.
TEST(Invoke, EveryLetterTakesItsArgumentWithTheRightWidth) {
  RecordingDispatch target;
  RecordingDispatch passedDispatch;
  RecordingDispatch passedUnknown;
  CY money;
  money.int64 = 1234567890123LL;
  VARIANT byValue;
  VariantInit(&byValue);
  V_VT(&byValue) = VT_I4;
  V_I4(&byValue) = -77;
  short small = -2;
  float single = 1.5f;
  HRESULT hr =
      Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "irRcdsDebvUI", small,
             single, 2.25, money, 45000.75, L"text", static_cast<IDispatch*>(&passedDispatch),
             DISP_E_PARAMNOTFOUND, 5, byValue, static_cast<IUnknown*>(&passedUnknown), 0x7fffffff);
  ASSERT_EQ(hr, S_OK);
  ASSERT_EQ(target.cArgs, 12u);
  const VARIANT* slot = target.args.data() + 11;  // the first item is in the last slot
  EXPECT_EQ(V_VT(slot), VT_I2);
  EXPECT_EQ(V_I2(slot), -2);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_R4);
  EXPECT_EQ(V_R4(slot), 1.5f);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_R8);
  EXPECT_EQ(V_R8(slot), 2.25);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_CY);
  EXPECT_EQ(V_CY(slot).int64, 1234567890123LL);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_DATE);
  EXPECT_EQ(V_DATE(slot), 45000.75);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_BSTR);
  ASSERT_EQ(target.argTexts.size(), 1u);
  EXPECT_EQ(target.argTexts[0], L"text");
  --slot;
  EXPECT_EQ(V_VT(slot), VT_DISPATCH);
  EXPECT_EQ(V_DISPATCH(slot), &passedDispatch);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_ERROR);
  EXPECT_EQ(V_ERROR(slot), DISP_E_PARAMNOTFOUND);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_BOOL);
  EXPECT_EQ(V_BOOL(slot), VARIANT_TRUE);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_I4) << "a \"v\" slot takes the passed VARIANT's own type";
  EXPECT_EQ(V_I4(slot), -77);
  --slot;
  EXPECT_EQ(V_VT(slot), VT_UNKNOWN);
  EXPECT_EQ(V_UNKNOWN(slot), static_cast<IUnknown*>(&passedUnknown));
  --slot;
  EXPECT_EQ(V_VT(slot), VT_I4);
  EXPECT_EQ(V_I4(slot), 0x7fffffff);
  EXPECT_EQ(passedDispatch.refs, 1) << "no reference is added or taken";
  EXPECT_EQ(passedUnknown.refs, 1);
}

TEST(Invoke, ByReferenceFlagIsClearedBeforeTheCallAndCarriesTheAnswerBack) {
  RecordingDispatch target;
  LONG flag = 0x12345678;
  LONG number = 5;
  target.byRefBoolAnswer = VARIANT_TRUE;
  ASSERT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "&b&I", &flag,
                   &number),
            S_OK);
  ASSERT_EQ(target.byRefBoolSeen.size(), 1u);
  EXPECT_EQ(target.byRefBoolSeen[0], 0) << "all 32 bits are cleared, not only the low half";
  EXPECT_NE(flag, 0);
  ASSERT_EQ(target.cArgs, 2u);
  EXPECT_EQ(V_VT(&target.args[1]), VT_BYREF | VT_BOOL);
  EXPECT_EQ(V_VT(&target.args[0]), VT_BYREF | VT_I4);
  EXPECT_EQ(V_I4REF(&target.args[0]), &number) << "the caller's pointer, passed as is";

  flag = -1;
  target.byRefBoolAnswer = VARIANT_FALSE;
  ASSERT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "&b", &flag),
            S_OK);
  EXPECT_EQ(flag, 0);
}

TEST(Invoke, NullStringIsOutOfMemoryAndTheMemberIsNotCalled) {
  RecordingDispatch target;
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "Is", 4,
                   static_cast<LPCOLESTR>(nullptr)),
            E_OUTOFMEMORY);
  EXPECT_EQ(target.lookups, 1);
  EXPECT_EQ(target.calls, 0);
}

TEST(Invoke, PropertyPutNeedsAnArgumentAndPassesItsNamedArgument) {
  RecordingDispatch target;
  EXPECT_EQ(Invoke(&target, DISPATCH_PROPERTYPUT, nullptr, nullptr, nullptr, L"Member", ""),
            E_INVALIDARG);
  EXPECT_EQ(target.lookups, 1) << "refused only after a successful lookup";
  EXPECT_EQ(target.calls, 0);
  EXPECT_EQ(Invoke(&target, DISPATCH_PROPERTYPUT, nullptr, nullptr, nullptr, L"Nothing", nullptr),
            DISP_E_UNKNOWNNAME)
      << "a failed lookup reports its own error";

  ASSERT_EQ(Invoke(&target, DISPATCH_PROPERTYPUT, nullptr, nullptr, nullptr, L"Member", "I", 9),
            S_OK);
  EXPECT_EQ(target.cArgs, 1u);
  ASSERT_EQ(target.cNamedArgs, 1u);
  EXPECT_EQ(target.namedArg, DISPID_PROPERTYPUT);

  ASSERT_EQ(Invoke(&target, DISPATCH_PROPERTYPUTREF, nullptr, nullptr, nullptr, L"Member", "I", 9),
            S_OK);
  EXPECT_EQ(target.cNamedArgs, 0u) << "only a plain property put names its argument";
}

TEST(Invoke, NullOrEmptyFormatCallsWithoutArguments) {
  for (LPCSTR format : {static_cast<LPCSTR>(nullptr), ""}) {
    RecordingDispatch target;
    ASSERT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", format), S_OK);
    EXPECT_EQ(target.calls, 1);
    EXPECT_EQ(target.cArgs, 0u);
    EXPECT_EQ(target.cNamedArgs, 0u);
    EXPECT_TRUE(target.rgvargNull) << "nothing is allocated";
  }
}

TEST(Invoke, OptionalPointersArePassedOnAsGiven) {
  RecordingDispatch target;
  ASSERT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", ""), S_OK);
  EXPECT_EQ(target.resultPointer, nullptr);
  EXPECT_EQ(target.excepInfoPointer, nullptr);
  EXPECT_EQ(target.argErrPointer, nullptr);

  VARIANT result;
  V_VT(&result) = VT_I4;  // stale content the call must not mistake for a value
  V_I4(&result) = 1;
  EXCEPINFO excep = {};
  UINT argErr = 0;
  V_VT(&target.answer) = VT_R8;
  V_R8(&target.answer) = 6.5;
  target.invokeResult = S_OK;
  ASSERT_EQ(Invoke(&target, DISPATCH_PROPERTYGET, &result, &excep, &argErr, L"Member", ""), S_OK);
  EXPECT_EQ(target.resultPointer, &result);
  EXPECT_EQ(target.resultTypeOnEntry, VT_EMPTY) << "the result is initialised before the call";
  EXPECT_EQ(target.excepInfoPointer, &excep);
  EXPECT_EQ(target.argErrPointer, &argErr);
  EXPECT_EQ(V_VT(&result), VT_R8);
  EXPECT_EQ(V_R8(&result), 6.5);
}

TEST(Invoke, FormatWithAForeignCharacterIsRefusedBeforeAnyCall) {
  for (LPCSTR format : {"I ", "I?", "&", "&&I", "Ix", "iI&"}) {
    RecordingDispatch target;
    EXPECT_EQ(
        Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", format, 1, 2, 3),
        E_INVALIDARG)
        << format;
    EXPECT_EQ(target.calls, 0) << format;
  }
}

TEST(Invoke, NullDispatchAndUnknownMemberFailWithoutACall) {
  EXPECT_EQ(Invoke(nullptr, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", ""),
            E_INVALIDARG);
  RecordingDispatch target;
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Missing", "I", 1),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(target.calls, 0);
}

TEST(Invoke, TheMembersFailureIsReturned) {
  RecordingDispatch target;
  target.invokeResult = DISP_E_TYPEMISMATCH;
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "s", L"x"),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(target.calls, 1);
}

// With the string cache off every SysFreeString reaches the task allocator, where the
// spy sees it.
TEST(Invoke, StringsAreFreedOnEveryPathAndAVariantsStringIsTaken) {
  FreeSpy spy;
  ASSERT_TRUE(spy.registered());
  RecordingDispatch target;

  BSTR handedOver = SysAllocString(L"handed over");
  ASSERT_NE(handedOver, nullptr);
  VARIANT holder;
  VariantInit(&holder);
  V_VT(&holder) = VT_BSTR;
  V_BSTR(&holder) = handedOver;
  ASSERT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "v", holder),
            S_OK);
  ASSERT_EQ(target.argTexts.size(), 1u);
  EXPECT_EQ(target.argTexts[0], L"handed over");
  EXPECT_TRUE(spy.freedString(handedOver));

  // Copies made for "s" are freed after a successful call, after a failed call and when
  // a later string is missing.
  ASSERT_EQ(
      Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "ss", L"a", L"b"),
      S_OK);
  target.invokeResult = E_FAIL;
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "s", L"c"),
            E_FAIL);
  EXPECT_EQ(Invoke(&target, DISPATCH_METHOD, nullptr, nullptr, nullptr, L"Member", "ss", L"d",
                   static_cast<LPCOLESTR>(nullptr)),
            E_OUTOFMEMORY);
  EXPECT_GE(spy.allocations(), 4u);
  EXPECT_EQ(spy.outstanding(), 0u);
}

TEST(Format, CountAndNextTypeAgreeOnWhereAFormatGoesWrong) {
  UINT count = 99;
  EXPECT_EQ(CountArgsInFormat(nullptr, &count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(CountArgsInFormat("iIrRcdsDebvU&i&v", &count), S_OK);
  EXPECT_EQ(count, 14u);
  EXPECT_EQ(CountArgsInFormat("Ii Ii", &count), E_INVALIDARG);
  EXPECT_EQ(count, 2u) << "the items before the fault";
  EXPECT_EQ(CountArgsInFormat("I&", &count), E_INVALIDARG);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(CountArgsInFormat("&&b", &count), E_INVALIDARG);
  EXPECT_EQ(count, 0u);

  VARTYPE vt = VT_ILLEGAL;
  const char* format = "&bs";
  const char* next = GetNextVarType(format, &vt);
  EXPECT_EQ(next, format + 2);
  EXPECT_EQ(vt, VT_BYREF | VT_BOOL);
  next = GetNextVarType(next, &vt);
  EXPECT_EQ(next, format + 3);
  EXPECT_EQ(vt, VT_BSTR);
  EXPECT_EQ(GetNextVarType(next, &vt), nullptr);
  EXPECT_EQ(vt, VT_EMPTY);
  EXPECT_EQ(GetNextVarType("&", &vt), nullptr);
  EXPECT_EQ(vt, VT_BYREF);
  EXPECT_EQ(GetNextVarType(" I", &vt), nullptr);
  EXPECT_EQ(vt, VT_EMPTY);
}

}  // namespace
