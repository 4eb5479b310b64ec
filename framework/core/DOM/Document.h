#pragma once
// The page's document.

#include <string>

#include "DOM/Element.h"

namespace FW {
namespace DOM {

class Document : public virtual Element {
public:
    explicit Document(const JSObjectPtr& object);

    virtual WindowPtr getWindow() const;
    virtual ElementPtr getBody() const;
    virtual ElementPtr createElement(const std::string& tag) const;

    static DocumentPtr create(const JSObjectPtr& object);
};

} // namespace DOM
} // namespace FW
