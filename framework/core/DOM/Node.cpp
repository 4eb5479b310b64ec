#include "DOM/Node.h"

#include "utf8_tools.h"

namespace FW {
namespace DOM {

Node::Node(const JSObjectPtr& object) : m_object(object) {}

NodePtr Node::create(const JSObjectPtr& object) {
    return wrapThroughHost(object, &BrowserHost::wrapNode);
}

NodePtr Node::getNode(const std::string& name) const {
    return create(getProperty<JSObjectPtr>(name));
}

NodePtr Node::getNode(const std::wstring& name) const {
    return getNode(wstring_to_utf8(name));
}

NodePtr Node::getNode(int index) const {
    return create(getProperty<JSObjectPtr>(index));
}

void Node::setProperty(const std::string& name, const variant& value) const {
    m_object->SetProperty(name, value);
}

void Node::setProperty(const std::wstring& name, const variant& value) const {
    m_object->SetProperty(wstring_to_utf8(name), value);
}

void Node::setProperty(int index, const variant& value) const {
    m_object->SetProperty(index, value);
}

JSObjectPtr Node::getObjectProperty(const std::string& name) const {
    JSObjectPtr object = getProperty<JSObjectPtr>(name);
    if (!object)
        throw script_error("Property " + name + " is not an object");
    return object;
}

void Node::appendChild(const NodePtr& child) {
    m_object->Invoke("appendChild",
                     VariantList{variant(child ? child->getJSObject() : JSObjectPtr())});
}

} // namespace DOM
} // namespace FW
