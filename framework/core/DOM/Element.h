#pragma once
// A page element.

#include <string>
#include <vector>

#include "DOM/Node.h"

namespace FW {
namespace DOM {

class Element : public virtual Node {
public:
    explicit Element(const JSObjectPtr& object);

    virtual std::string getInnerHTML() const;
    virtual void setInnerHTML(const std::string& html) const;
    virtual int getWidth() const;
    virtual void setWidth(int width) const;
    virtual int getHeight() const;
    virtual void setHeight(int height) const;
    virtual int getScrollWidth() const;
    virtual int getScrollHeight() const;
    virtual int getChildNodeCount() const;
    virtual ElementPtr getChildNode(int index) const;
    virtual ElementPtr getParentNode() const;
    virtual ElementPtr getElement(const std::string& name) const;
    virtual ElementPtr getElement(int index) const;
    virtual ElementPtr getElementById(const std::string& id) const;
    virtual std::vector<ElementPtr> getElementsByTagName(const std::string& tag) const;
    virtual std::vector<ElementPtr> getElementsByTagName(const std::wstring& tag) const;
    virtual std::string getStringAttribute(const std::string& name) const;

    static ElementPtr create(const JSObjectPtr& object);
};

} // namespace DOM
} // namespace FW
