#pragma once
// DOM wrappers for Internet Explorer: the operations below go to the
// browser's document interfaces directly; every other operation is the
// script-member form of the base wrappers.

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Node.h"
#include "DOM/Window.h"
#include "com_ptr.h"

namespace FW {
namespace ActiveX {
namespace AXDOM {

class Node : public virtual DOM::Node {
public:
    Node(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser);
    ~Node() override;
    void appendChild(const DOM::NodePtr& child) override;
    IDispatch* dispatch() const { return m_dispatch; }

protected:
    ATL::CComPtr<IDispatch> m_dispatch;
    ATL::CComPtr<IWebBrowser2> m_webBrowser;
};

class Element : public virtual DOM::Element, public virtual AXDOM::Node {
public:
    Element(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser);
    ~Element() override;
    std::string getInnerHTML() const override;
    void setInnerHTML(const std::string& html) const override;
    std::vector<DOM::ElementPtr> getElementsByTagName(const std::string& tag) const override;
    using DOM::Element::getElementsByTagName;
};

class Window : public virtual DOM::Window, public virtual AXDOM::Node {
public:
    Window(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser);
    ~Window() override;
    DOM::DocumentPtr getDocument() const override;
    void alert(const std::string& message) const override;
    using DOM::Window::alert;
    std::string getLocation() const override;
};

class Document : public virtual DOM::Document, public virtual AXDOM::Element {
public:
    Document(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser);
    ~Document() override;
    DOM::WindowPtr getWindow() const override;
    DOM::ElementPtr createElement(const std::string& tag) const override;
    DOM::ElementPtr getElementById(const std::string& id) const override;
    std::vector<DOM::ElementPtr> getElementsByTagName(const std::string& tag) const override;
    using DOM::Element::getElementsByTagName;
};

} // namespace AXDOM
} // namespace ActiveX
} // namespace FW
