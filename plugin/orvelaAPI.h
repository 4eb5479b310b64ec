#pragma once
// The plug-in's scripting object: four test members and the camera API, whose
// members forward one-to-one to the hosted camera control and hand its answers
// back to script. It also creates the control in a control-host child window
// of the plug-in window, keeps the control's interface reference and relays
// the control's event to the page as "onOnCtrlEvent".
//
// Without a control, number members answer -1 and text members the empty text.
// A failing control operation raises orvelaControl::ControlCallError.
//
// On a page that the site lock refuses, every camera member throws the
// refusal and the control is never created; "allowed" tells the page which.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BrowserHost.h"
#include "CEventHandler.h"
#include "CameraControl.h"
#include "JSAPIAuto.h"
#include "SitePermission.h"
#include "com_ptr.h"

class orvela;

class orvelaAPI : public FW::JSAPIAuto {
public:
    orvelaAPI(const std::shared_ptr<orvela>& plugin, const FW::BrowserHostPtr& host);
    ~orvelaAPI() override;

    // Creates the camera control in a new host window covering the parent's
    // client area and connects the event sink. Answers 0, or -1 when the control
    // could not be created. Throws ATL::CAtlException(E_FAIL) when the sink is
    // still connected from an earlier creation.
    int CreateHostedCtrl(HWND parent);
    // Disconnects the sink and destroys the host window; the control reference stays.
    void DetachHostedCtrl();
    // Fires "onOnCtrlEvent" (wide text, long, long).
    void fire_OnCtrlEvent(BSTR text, long type, long subtype);

    HWND getHostWindow() const { return m_wndHost; }
    HWND getParentWindow() const { return m_hParentWnd; }
    orvelaControl::ICameraControl* getControl() const { return m_spCtrl; }
    const CEventHandler& getEventHandler() const { return m_eventHandler; }
    std::shared_ptr<orvela> getPlugin() const { return m_plugin.lock(); }

    // What each camera member takes and answers, from the table that
    // registers them (the README's member table is printed from it).
    struct CameraMember {
        const char* name;
        std::string arguments; // "text, integer", or empty
        const char* result;    // "number" or "text"
    };
    static std::vector<CameraMember> cameraMembers();

    FW::variant echo(const FW::variant& value);
    void testEvent();
    std::string get_testString() const { return m_testString; }
    void set_testString(const std::string& value) { m_testString = value; }
    std::string get_version() const { return "1.0.0.0"; }
    void set_version(const FW::variant&) {}
    bool get_allowed() const { return m_site.allows(m_host); }

private:
    struct Forwarding;
    friend struct Forwarding;

    // Throws the refusal when the page may not use the camera; a control
    // held back when the window came is created once the page may.
    void admitCamera();

    std::weak_ptr<orvela> m_plugin;
    FW::BrowserHostPtr m_host;
    std::string m_testString;
    ATL::CComPtr<orvelaControl::ICameraControl> m_spCtrl;
    HWND m_hParentWnd = nullptr;
    HWND m_wndHost = nullptr;
    CEventHandler m_eventHandler;
    SitePermission m_site;
    bool m_ctrlWithheld = false;
};

using orvelaAPIPtr = std::shared_ptr<orvelaAPI>;
