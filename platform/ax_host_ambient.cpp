#include "ax_host_window.h"
#include "ax_host_units.h"

#include <olectl.h>

namespace ATL {

using ax_host_units::screenDpi;

// ---- IDispatch: ambient properties

STDMETHODIMP CAxHostWindow::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CAxHostWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP CAxHostWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    if (count && !ids)
        return E_POINTER;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CAxHostWindow::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET))
        return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs)
        return DISP_E_BADPARAMCOUNT;
    if (!result)
        return E_INVALIDARG;
    VariantInit(result);
    return ReadAmbient(id, result);
}

HRESULT CAxHostWindow::ReadAmbient(DISPID id, VARIANT* result) noexcept {
    auto boolean = [result](bool value) {
        result->vt = VT_BOOL;
        result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    };
    auto integer = [result](LONG value) {
        result->vt = VT_I4;
        result->lVal = value;
        return S_OK;
    };
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_AUTOCLIP:
        return boolean(true);
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
        return boolean(false);
    case DISPID_AMBIENT_BACKCOLOR:
        return integer(static_cast<LONG>(0x80000000 | COLOR_WINDOW));
    case DISPID_AMBIENT_FORECOLOR:
        return integer(static_cast<LONG>(0x80000000 | COLOR_WINDOWTEXT));
    case DISPID_AMBIENT_LOCALEID:
        return integer(static_cast<LONG>(GetUserDefaultLCID()));
    case DISPID_AMBIENT_APPEARANCE:
        return integer(1); // three-dimensional
    case DISPID_AMBIENT_DISPLAYNAME:
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(m_name.view().data(), m_name.Length());
        return result->bstrVal ? S_OK : E_OUTOFMEMORY;
    case DISPID_AMBIENT_FONT: {
        LOGFONTW logFont = {};
        if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont))
            return E_FAIL;
        const SIZE dpi = screenDpi();
        FONTDESC desc = {};
        desc.cbSizeofstruct = sizeof(desc);
        desc.lpstrName = logFont.lfFaceName;
        const LONG points =
            MulDiv(logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight, 72, dpi.cy);
        desc.cySize.Lo = static_cast<ULONG>((points ? points : 8) * 10000);
        desc.sWeight = static_cast<SHORT>(logFont.lfWeight);
        desc.sCharset = logFont.lfCharSet;
        desc.fItalic = logFont.lfItalic;
        desc.fUnderline = logFont.lfUnderline;
        desc.fStrikethrough = logFont.lfStrikeOut;
        IDispatch* font = nullptr;
        const HRESULT hr =
            OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font));
        if (FAILED(hr))
            return hr;
        result->vt = VT_DISPATCH;
        result->pdispVal = font;
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

} // namespace ATL
