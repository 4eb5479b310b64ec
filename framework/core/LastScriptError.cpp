#include "LastScriptError.h"

#include "JSExceptions.h"

namespace FW {

variant& lastScriptError() {
    static variant value;
    return value;
}

void noteMissingMember(const std::string& name) {
    lastScriptError() = variant(std::string(invalid_member(name).what()));
}

} // namespace FW
