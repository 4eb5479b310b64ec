#include "DOM/Element.h"

#include "utf8_tools.h"

namespace FW {
namespace DOM {

Element::Element(const JSObjectPtr& object) : Node(object) {}

ElementPtr Element::create(const JSObjectPtr& object) {
    return wrapThroughHost(object, &BrowserHost::wrapElement);
}

std::string Element::getInnerHTML() const {
    return getProperty<std::string>("innerHTML");
}

void Element::setInnerHTML(const std::string& html) const {
    setProperty("innerHTML", html);
}

int Element::getWidth() const {
    return getProperty<int>("width");
}

void Element::setWidth(int width) const {
    setProperty("width", width);
}

int Element::getHeight() const {
    return getProperty<int>("height");
}

void Element::setHeight(int height) const {
    setProperty("height", height);
}

int Element::getScrollWidth() const {
    return getProperty<int>("scrollWidth");
}

int Element::getScrollHeight() const {
    return getProperty<int>("scrollHeight");
}

int Element::getChildNodeCount() const {
    return getObjectProperty("childNodes")->GetProperty("length").convert<int>();
}

ElementPtr Element::getChildNode(int index) const {
    JSObjectPtr children = getObjectProperty("childNodes");
    return create(children->GetProperty(index).convert<JSObjectPtr>());
}

ElementPtr Element::getParentNode() const {
    return create(getProperty<JSObjectPtr>("parentNode"));
}

ElementPtr Element::getElement(const std::string& name) const {
    return create(getProperty<JSObjectPtr>(name));
}

ElementPtr Element::getElement(int index) const {
    return create(getProperty<JSObjectPtr>(index));
}

ElementPtr Element::getElementById(const std::string& id) const {
    return create(callMethod<JSObjectPtr>("getElementById", VariantList{variant(id)}));
}

std::vector<ElementPtr> Element::getElementsByTagName(const std::string& tag) const {
    JSObjectPtr list = callMethod<JSObjectPtr>("getElementsByTagName", VariantList{variant(tag)});
    VariantList items;
    JSObject::GetArrayValues(list, items);
    std::vector<ElementPtr> elements;
    elements.reserve(items.size());
    for (const auto& item : items)
        elements.push_back(create(item.convert<JSObjectPtr>()));
    return elements;
}

std::vector<ElementPtr> Element::getElementsByTagName(const std::wstring& tag) const {
    return getElementsByTagName(wstring_to_utf8(tag));
}

std::string Element::getStringAttribute(const std::string& name) const {
    return callMethod<std::string>("getAttribute", VariantList{variant(name)});
}

} // namespace DOM
} // namespace FW
