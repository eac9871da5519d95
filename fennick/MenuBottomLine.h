// fennick/MenuBottomLine.h
#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <vector>
#include "fennick.h"

// Objects and server locks alive in this library (DllCanUnloadNow).
extern LONG g_objects;
extern HMODULE g_module;

// The menu line: a thin 3D line across the top (or bottom) of its container.
//
// Hosting: the container sets its client site (IOleObject::SetClientSite) and activates the
// control with DoVerb(OLEIVERB_INPLACEACTIVATE, ..., hwndParent, area): the control creates its
// window as a child of hwndParent and aligns itself within `area` (normally the parent's client
// rectangle); IOleInPlaceObject::SetObjectRects passes a new area, Close destroys the window.
// Ambient properties (BackColor) are read through the client site's IDispatch, the alignment
// ("Align": 0 none, 1 top, 2 bottom, 3 left, 4 right) through the extended control of
// IOleControlSite. Property changes go to IPropertyNotifySink connections.
class MenuBottomLine final : public IMenuBottomLine,
                       public ISupportErrorInfo,
                       public IPersistPropertyBag,
                       public IOleObject,
                       public IOleInPlaceObject,
                       public IOleControl,
                       public IConnectionPointContainer {
public:
    MenuBottomLine();
    MenuBottomLine(const MenuBottomLine&) = delete;
    MenuBottomLine& operator=(const MenuBottomLine&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // IMenuBottomLine
    STDMETHODIMP get_AutoBackColor(VARIANT_BOOL* value) override;
    STDMETHODIMP put_AutoBackColor(VARIANT_BOOL value) override;
    STDMETHODIMP get_SpaceBottom(LONG* value) override;
    STDMETHODIMP put_SpaceBottom(LONG New_SpaceBottom) override;
    STDMETHODIMP get_SpaceTop(LONG* value) override;
    STDMETHODIMP put_SpaceTop(LONG New_SpaceTop) override;
    STDMETHODIMP get_Style(MenuBottomLineStyle* value) override;
    STDMETHODIMP put_Style(MenuBottomLineStyle New_Style) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IPersistPropertyBag
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT area) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return OLE_S_USEREG; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP Unadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT area, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

private:
    ~MenuBottomLine();

    // The one connection point: IPropertyNotifySink.
    class NotifyPoint : public IConnectionPoint {
    public:
        explicit NotifyPoint(MenuBottomLine& owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }
        STDMETHODIMP GetConnectionInterface(IID* iid) override;
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
        STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
        STDMETHODIMP Unadvise(DWORD cookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
        std::vector<IPropertyNotifySink*> sinks;  // index + 1 is the cookie; released ones are null

    private:
        MenuBottomLine& owner_;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Layout();
    void Paint();
    void PropertyChanged(DISPID id);
    int Align();
    void SetAlign(int align);
    int HeightInPixels() const;

    LONG refs_ = 1;
    VARIANT_BOOL autoBackColor_ = VARIANT_TRUE;
    float spaceTop_ = 0, spaceBottom_ = 0;  // twips
    MenuBottomLineStyle style_ = mblSunken;
    OLE_COLOR backColor_ = 0x80000000 | COLOR_BTNFACE;
    int align_ = 0;                          // used when the container has no extended control
    bool busy_ = false;
    HWND hwnd_ = nullptr;
    RECT area_{};
    IOleClientSite* site_ = nullptr;
    NotifyPoint notify_{*this};
};
