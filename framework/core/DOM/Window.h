#pragma once
// The page's window.

#include <string>

#include "DOM/Node.h"

namespace FW {
namespace DOM {

class Window : public virtual Node {
public:
    explicit Window(const JSObjectPtr& object);

    virtual DocumentPtr getDocument() const;
    virtual void alert(const std::string& message) const;
    virtual void alert(const std::wstring& message) const;
    virtual JSObjectPtr createArray() const;
    virtual JSObjectPtr createMap() const;
    virtual std::string getLocation() const;

    static WindowPtr create(const JSObjectPtr& object);
};

} // namespace DOM
} // namespace FW
