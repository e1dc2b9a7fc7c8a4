#include "automation/dispatch_win32.h"

#include <cstdarg>
#include <cstdlib>

namespace tallymark::automation {
namespace {

// Where the host document is registered as running when its ProgID is not registered.
constexpr OLECHAR kHostDocumentClsid[] = L"{CA7992B2-2653-4342-8061-D7D385C07809}";

VARTYPE letterType(char c) {
  switch (c) {
    case 'i':
      return VT_I2;
    case 'I':
      return VT_I4;
    case 'r':
      return VT_R4;
    case 'R':
      return VT_R8;
    case 'c':
      return VT_CY;
    case 'd':
      return VT_DATE;
    case 's':
      return VT_BSTR;
    case 'D':
      return VT_DISPATCH;
    case 'e':
      return VT_ERROR;
    case 'b':
      return VT_BOOL;
    case 'v':
      return VT_VARIANT;
    case 'U':
      return VT_UNKNOWN;
    default:
      return VT_EMPTY;
  }
}

// Takes the arguments described by pszFmt from ap and fills the slots from the last to
// the first (IDispatch::Invoke wants them in reverse order). Stops at the first failure;
// slots not reached stay VT_EMPTY, so the caller's clean-up is the same on every path.
//
// Variadic promotion on every target we build for: "i" arrives as an int, "r" as a
// double; CY and VARIANT arrive by value.
HRESULT fillSlots(VARIANTARG* slots, UINT count, LPCSTR pszFmt, va_list* ap) {
  VARIANTARG* slot = slots + count;
  VARTYPE vt = VT_EMPTY;
  while ((pszFmt = GetNextVarType(pszFmt, &vt)) != nullptr && slot != slots) {
    --slot;
    V_VT(slot) = vt;
    if ((vt & VT_BYREF) != 0) {
      V_BYREF(slot) = va_arg(*ap, void*);
      // "&b" addresses the caller's 32-bit flag, of which the callee writes only the low
      // 16 bits: clear it all so that it reads 0 or non-zero afterwards.
      if (vt == (VT_BYREF | VT_BOOL) && V_BYREF(slot) != nullptr) {
        *static_cast<LONG*>(V_BYREF(slot)) = 0;
      }
      continue;
    }
    switch (vt) {
      case VT_I2:
        V_I2(slot) = static_cast<SHORT>(va_arg(*ap, int));
        break;
      case VT_I4:
        V_I4(slot) = va_arg(*ap, LONG);
        break;
      case VT_R4:
        V_R4(slot) = static_cast<FLOAT>(va_arg(*ap, double));
        break;
      case VT_R8:
        V_R8(slot) = va_arg(*ap, double);
        break;
      case VT_CY:
        V_CY(slot) = va_arg(*ap, CY);
        break;
      case VT_DATE:
        V_DATE(slot) = va_arg(*ap, DATE);
        break;
      case VT_BSTR: {
        LPCOLESTR text = va_arg(*ap, LPCOLESTR);
        BSTR copy = text != nullptr ? SysAllocString(text) : nullptr;
        if (copy == nullptr) {
          V_VT(slot) = VT_EMPTY;
          return E_OUTOFMEMORY;
        }
        V_BSTR(slot) = copy;
        break;
      }
      case VT_DISPATCH:
        V_DISPATCH(slot) = va_arg(*ap, IDispatch*);
        break;
      case VT_ERROR:
        V_ERROR(slot) = va_arg(*ap, SCODE);
        break;
      case VT_BOOL:
        V_BOOL(slot) = va_arg(*ap, int) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      // The slot takes the passed VARIANT whole, its type included.
      case VT_VARIANT:
        *slot = va_arg(*ap, VARIANT);
        break;
      case VT_UNKNOWN:
        V_UNKNOWN(slot) = va_arg(*ap, IUnknown*);
        break;
      default:
        V_VT(slot) = VT_EMPTY;
        return E_INVALIDARG;
    }
  }
  return S_OK;
}

}  // namespace
}  // namespace tallymark::automation

// The calls below keep the names they are known by, in the global namespace.
using tallymark::automation::fillSlots;
using tallymark::automation::kHostDocumentClsid;
using tallymark::automation::letterType;

HRESULT CreateObject(LPCOLESTR pszProgID, IDispatch** ppdisp) {
  if (ppdisp == nullptr) return E_INVALIDARG;
  *ppdisp = nullptr;
  CLSID clsid;
  HRESULT hr = pszProgID != nullptr ? CLSIDFromProgID(pszProgID, &clsid) : E_INVALIDARG;
  if (FAILED(hr)) {
    hr = CLSIDFromString(kHostDocumentClsid, &clsid);
    if (FAILED(hr)) return hr;
  }
  IUnknown* unknown = nullptr;
  hr = GetActiveObject(clsid, nullptr, &unknown);
  if (FAILED(hr)) return hr;
  IDispatch* dispatch = nullptr;
  hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  unknown->Release();
  if (FAILED(hr)) return hr;
  *ppdisp = dispatch;
  return S_OK;
}

HRESULT CountArgsInFormat(LPCSTR pszFmt, UINT* pn) {
  *pn = 0;
  if (pszFmt == nullptr) return S_OK;
  while (*pszFmt != '\0') {
    if (*pszFmt == '&') ++pszFmt;
    if (letterType(*pszFmt) == VT_EMPTY) return E_INVALIDARG;
    ++pszFmt;
    ++*pn;
  }
  return S_OK;
}

LPCSTR GetNextVarType(LPCSTR pszFmt, VARTYPE* pvt) {
  *pvt = VT_EMPTY;
  if (*pszFmt == '&') {
    *pvt = VT_BYREF;
    ++pszFmt;
    if (*pszFmt == '\0') return nullptr;
  }
  VARTYPE type = letterType(*pszFmt);
  if (type == VT_EMPTY) return nullptr;
  *pvt |= type;
  return pszFmt + 1;
}

HRESULT Invoke(IDispatch* pdisp, WORD wFlags, VARIANT* pvRet, EXCEPINFO* pexcepinfo, UINT* pnArgErr,
               LPCOLESTR pszName, LPCSTR pszFmt, ...) {
  if (pdisp == nullptr) return E_INVALIDARG;
  DISPID dispid = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(pszName);
  HRESULT hr = pdisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) return hr;

  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  // A format that is not all items is refused as a whole: calling the member with only
  // the items before the fault would pass it arguments the caller never meant.
  if (pszFmt != nullptr) {
    hr = CountArgsInFormat(pszFmt, &params.cArgs);
    if (FAILED(hr)) return hr;
  }
  DISPID putName = DISPID_PROPERTYPUT;
  if ((wFlags & DISPATCH_PROPERTYPUT) != 0) {
    if (params.cArgs == 0) return E_INVALIDARG;
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &putName;
  }

  hr = S_OK;
  if (params.cArgs != 0) {
    params.rgvarg = static_cast<VARIANTARG*>(std::calloc(params.cArgs, sizeof(VARIANTARG)));
    if (params.rgvarg == nullptr) return E_OUTOFMEMORY;
    va_list ap;
    va_start(ap, pszFmt);
    hr = fillSlots(params.rgvarg, params.cArgs, pszFmt, &ap);
    va_end(ap);
  }

  if (SUCCEEDED(hr)) {
    if (pvRet != nullptr) VariantInit(pvRet);
    hr = pdisp->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, pvRet, pexcepinfo,
                       pnArgErr);
  }

  // Only the string copies made here and strings handed over in a "v" are freed;
  // references and by-reference slots stay the caller's.
  for (UINT i = 0; i < params.cArgs; ++i) {
    if (V_VT(&params.rgvarg[i]) == VT_BSTR) VariantClear(&params.rgvarg[i]);
  }
  std::free(params.rgvarg);
  return hr;
}
