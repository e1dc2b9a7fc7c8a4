// Late-bound calls on the host's automation object. Win32 only: the interface uses COM
// types, so only win32 sources and Windows tests include it.
//
// None of these initialise COM: the caller's thread must already be in an apartment
// (the host's user-interface thread is).
#pragma once

#include <oaidl.h>
#include <windows.h>

// Finds the running instance of the object registered under pszProgID (or, when that
// ProgID is unknown, under the host document's fixed CLSID) and stores its IDispatch in
// *ppdisp. Never creates an instance. On success the caller owns the one reference.
HRESULT CreateObject(LPCOLESTR pszProgID, IDispatch** ppdisp);

// Counts the items of an Invoke format into *pn. S_OK for a null or well-formed format;
// E_INVALIDARG at the first character that is not an item, *pn then holding the items
// before it.
HRESULT CountArgsInFormat(LPCSTR pszFmt, UINT* pn);

// Reads the item at pszFmt into *pvt (its letter's VARTYPE, with VT_BYREF for a leading
// "&") and returns the position after it; null at the end or at a character that is not
// an item (*pvt is then VT_EMPTY or VT_BYREF).
LPCSTR GetNextVarType(LPCSTR pszFmt, VARTYPE* pvt);

// Calls member pszName of pdisp with the arguments described by pszFmt:
//   i short  I long  r float  R double  c CY  d DATE  s wide string (copied to a BSTR)
//   D IDispatch*  e SCODE  b BOOL  v VARIANT (by value)  U IUnknown*
// and "&" before a letter for a pointer passed by reference. A format holding anything
// else is refused with E_INVALIDARG and the member is not called. References passed
// with "D", "U" and "&" stay the caller's; a "v" whose type is VT_BSTR is freed here.
// pvRet, pexcepinfo and pnArgErr may be null and are passed on as they are.
HRESULT Invoke(IDispatch* pdisp, WORD wFlags, VARIANT* pvRet, EXCEPINFO* pexcepinfo, UINT* pnArgErr,
               LPCOLESTR pszName, LPCSTR pszFmt, ...);
