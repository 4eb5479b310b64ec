#include "AXDOM.h"

#include <stdexcept>

#include "ActiveXBrowserHost.h"
#include "IDispatchAPI.h"
#include "JSExceptions.h"
#include "com_types.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {
namespace AXDOM {

namespace {

ActiveXBrowserHostPtr hostOf(const JSObjectPtr& object) {
    auto host = object ? std::static_pointer_cast<ActiveXBrowserHost>(object->getHost()) : nullptr;
    if (!host)
        throw script_error("The page is gone");
    return host;
}

std::string bstrUtf8(BSTR text) {
    return text ? wstring_to_utf8(std::wstring(text, SysStringLen(text))) : std::string();
}

// The items of a collection as element wrappers.
std::vector<DOM::ElementPtr> elementsOf(IHTMLElementCollection* collection,
                                        const ActiveXBrowserHostPtr& host) {
    std::vector<DOM::ElementPtr> elements;
    long length = 0;
    if (!collection || FAILED(collection->get_length(&length)))
        throw std::runtime_error("Could not get element by tag name");
    for (long i = 0; i < length; ++i) {
        ATL::CComVariant index(i);
        ATL::CComVariant none;
        ATL::CComPtr<IDispatch> item;
        if (SUCCEEDED(collection->item(index, none, &item)) && item)
            elements.push_back(DOM::Element::create(host->wrapIDispatch(item)));
    }
    return elements;
}

} // namespace

Node::Node(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser)
    : DOM::Node(object), m_dispatch(dispatch), m_webBrowser(webBrowser) {}

Node::~Node() = default;

void Node::appendChild(const DOM::NodePtr& child) {
    ATL::CComQIPtr<IHTMLDOMNode> node(m_dispatch);
    auto page = child ? std::dynamic_pointer_cast<IDispatchAPI>(child->getJSObject()) : nullptr;
    ATL::CComPtr<IDispatch> childDispatch;
    if (page)
        childDispatch.Attach(page->getIDispatch());
    ATL::CComQIPtr<IHTMLDOMNode> childNode(childDispatch);
    ATL::CComPtr<IHTMLDOMNode> added;
    if (!node || !childNode || FAILED(node->appendChild(childNode, &added)))
        throw std::runtime_error("failed to appendChild!");
}

Element::Element(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser)
    : DOM::Node(object), DOM::Element(object), AXDOM::Node(object, dispatch, webBrowser) {}

Element::~Element() = default;

std::string Element::getInnerHTML() const {
    ATL::CComQIPtr<IHTMLElement> element(m_dispatch);
    ATL::CComBSTR html;
    if (!element || FAILED(element->get_innerHTML(&html)))
        throw script_error("Could not get innerhtml");
    return bstrUtf8(html);
}

void Element::setInnerHTML(const std::string& html) const {
    ATL::CComQIPtr<IHTMLElement> element(m_dispatch);
    ATL::CComBSTR text(utf8_to_wstring(html).c_str());
    if (!element || FAILED(element->put_innerHTML(text)))
        throw script_error("Could not set innerHtml");
}

std::vector<DOM::ElementPtr> Element::getElementsByTagName(const std::string& tag) const {
    ATL::CComQIPtr<IHTMLElement2> element(m_dispatch);
    ATL::CComBSTR name(utf8_to_wstring(tag).c_str());
    ATL::CComPtr<IHTMLElementCollection> collection;
    if (!element || FAILED(element->getElementsByTagName(name, &collection)))
        throw std::runtime_error("Could not get element by tag name");
    return elementsOf(collection, hostOf(m_object));
}

Window::Window(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser)
    : DOM::Node(object), DOM::Window(object), AXDOM::Node(object, dispatch, webBrowser) {}

Window::~Window() = default;

DOM::DocumentPtr Window::getDocument() const {
    ATL::CComQIPtr<IHTMLWindow2> window(m_dispatch);
    ATL::CComPtr<IHTMLDocument2> document;
    if (!window || FAILED(window->get_document(&document)) || !document)
        return DOM::DocumentPtr();
    ATL::CComQIPtr<IDispatch> dispatch(document);
    return DOM::Document::create(hostOf(m_object)->wrapIDispatch(dispatch));
}

void Window::alert(const std::string& message) const {
    ATL::CComQIPtr<IHTMLWindow2> window(m_dispatch);
    ATL::CComBSTR text(utf8_to_wstring(message).c_str());
    if (window)
        window->alert(text);
}

std::string Window::getLocation() const {
    ATL::CComBSTR url;
    if (!m_webBrowser || FAILED(m_webBrowser->get_LocationURL(&url)))
        return std::string();
    return bstrUtf8(url);
}

Document::Document(const JSObjectPtr& object, IDispatch* dispatch, IWebBrowser2* webBrowser)
    : DOM::Node(object), DOM::Element(object), DOM::Document(object),
      AXDOM::Node(object, dispatch, webBrowser), AXDOM::Element(object, dispatch, webBrowser) {}

Document::~Document() = default;

DOM::WindowPtr Document::getWindow() const {
    ATL::CComQIPtr<IHTMLDocument2> document(m_dispatch);
    ATL::CComPtr<IHTMLWindow2> window;
    if (!document || FAILED(document->get_parentWindow(&window)) || !window)
        return DOM::WindowPtr();
    ATL::CComQIPtr<IDispatch> dispatch(window);
    return DOM::Window::create(hostOf(m_object)->wrapIDispatch(dispatch));
}

DOM::ElementPtr Document::createElement(const std::string& tag) const {
    ATL::CComQIPtr<IHTMLDocument2> document(m_dispatch);
    ATL::CComBSTR name(utf8_to_wstring(tag).c_str());
    ATL::CComPtr<IHTMLElement> element;
    if (!document || FAILED(document->createElement(name, &element)) || !element)
        throw std::runtime_error("Failed to create element!");
    ATL::CComQIPtr<IDispatch> dispatch(element);
    return DOM::Element::create(hostOf(m_object)->wrapIDispatch(dispatch));
}

DOM::ElementPtr Document::getElementById(const std::string& id) const {
    ATL::CComQIPtr<IHTMLDocument3> document(m_dispatch);
    if (!document)
        throw script_error("Document does not support getElementById");
    ATL::CComBSTR name(utf8_to_wstring(id).c_str());
    ATL::CComPtr<IHTMLElement> element;
    if (FAILED(document->getElementById(name, &element)) || !element)
        return DOM::ElementPtr();
    ATL::CComQIPtr<IDispatch> dispatch(element);
    return DOM::Element::create(hostOf(m_object)->wrapIDispatch(dispatch));
}

std::vector<DOM::ElementPtr> Document::getElementsByTagName(const std::string& tag) const {
    ATL::CComQIPtr<IHTMLDocument3> document(m_dispatch);
    ATL::CComBSTR name(utf8_to_wstring(tag).c_str());
    ATL::CComPtr<IHTMLElementCollection> collection;
    if (!document || FAILED(document->getElementsByTagName(name, &collection)))
        throw std::runtime_error("Could not get element by tag name");
    return elementsOf(collection, hostOf(m_object));
}

} // namespace AXDOM
} // namespace ActiveX
} // namespace FW
