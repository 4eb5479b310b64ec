#include "DOM/Window.h"

#include "DOM/Document.h"
#include "utf8_tools.h"

namespace FW {
namespace DOM {

Window::Window(const JSObjectPtr& object) : Node(object) {}

WindowPtr Window::create(const JSObjectPtr& object) {
    return wrapThroughHost(object, &BrowserHost::wrapWindow);
}

DocumentPtr Window::getDocument() const {
    return Document::create(getProperty<JSObjectPtr>("document"));
}

void Window::alert(const std::string& message) const {
    m_object->Invoke("alert", VariantList{variant(message)});
}

void Window::alert(const std::wstring& message) const {
    alert(wstring_to_utf8(message));
}

JSObjectPtr Window::createArray() const {
    return callMethod<JSObjectPtr>("Array", VariantList());
}

JSObjectPtr Window::createMap() const {
    return callMethod<JSObjectPtr>("Object", VariantList());
}

std::string Window::getLocation() const {
    return getObjectProperty("location")->GetProperty("href").convert<std::string>();
}

} // namespace DOM
} // namespace FW
