#include "DOM/Document.h"

#include "DOM/Window.h"

namespace FW {
namespace DOM {

Document::Document(const JSObjectPtr& object) : Node(object), Element(object) {}

Document::~Document() = default;

DocumentPtr Document::create(const JSObjectPtr& object) {
    if (!object)
        return DocumentPtr();
    BrowserHostPtr host = object->getHost();
    return host ? host->wrapDocument(object) : std::make_shared<Document>(object);
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
