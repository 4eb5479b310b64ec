#include "DOM/Document.h"

#include "DOM/Window.h"

namespace FW {
namespace DOM {

Document::Document(const JSObjectPtr& object) : Node(object), Element(object) {}

DocumentPtr Document::create(const JSObjectPtr& object) {
    return wrapThroughHost(object, &BrowserHost::wrapDocument);
}

WindowPtr Document::getWindow() const {
    return Window::create(getProperty<JSObjectPtr>("window"));
}

ElementPtr Document::getBody() const {
    return Element::create(getProperty<JSObjectPtr>("body"));
}

ElementPtr Document::createElement(const std::string& tag) const {
    return Element::create(callMethod<JSObjectPtr>("createElement", VariantList{variant(tag)}));
}

} // namespace DOM
} // namespace FW
