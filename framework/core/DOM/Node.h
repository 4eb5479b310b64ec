#pragma once
// A page DOM node seen through its page object: every member is a fixed
// property read, property write or method call on that object.

#include <memory>
#include <string>

#include "BrowserHost.h"

namespace FW {
namespace DOM {

class Node : public std::enable_shared_from_this<Node> {
public:
    explicit Node(const JSObjectPtr& object);
    virtual ~Node() = default;

    JSObjectPtr getJSObject() const { return m_object; }

    template <class T>
    T getProperty(const std::string& name) const {
        return m_object->GetProperty(name).template convert<T>();
    }
    template <class T>
    T getProperty(int index) const {
        return m_object->GetProperty(index).template convert<T>();
    }
    template <class T>
    T callMethod(const std::string& name, const VariantList& args) const {
        return m_object->Invoke(name, args).template convert<T>();
    }

    virtual NodePtr getNode(const std::string& name) const;
    virtual NodePtr getNode(const std::wstring& name) const;
    virtual NodePtr getNode(int index) const;
    virtual void setProperty(const std::string& name, const variant& value) const;
    virtual void setProperty(const std::wstring& name, const variant& value) const;
    virtual void setProperty(int index, const variant& value) const;
    virtual void appendChild(const NodePtr& child);

    // The wrappers come from the object's host, so a browser's own kinds are
    // used; without a host the plain wrapper is made.
    static NodePtr create(const JSObjectPtr& object);

protected:
    // The wrapper the object's host makes with `wrap`; without a host, the plain
    // wrapper; none for no object.
    template <class Wrapper>
    static std::shared_ptr<Wrapper>
    wrapThroughHost(const JSObjectPtr& object,
                    std::shared_ptr<Wrapper> (BrowserHost::*wrap)(const JSObjectPtr&) const) {
        if (!object)
            return nullptr;
        BrowserHostPtr host = object->getHost();
        return host ? (host.get()->*wrap)(object) : std::make_shared<Wrapper>(object);
    }

    // The property as a page object; a missing one is a script error.
    JSObjectPtr getObjectProperty(const std::string& name) const;

    JSObjectPtr m_object;
};

} // namespace DOM
} // namespace FW
