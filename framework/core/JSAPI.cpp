#include "JSAPI.h"

#include "utf8_tools.h"

namespace FW {

void JSAPI::registerEventMethod(const std::string&, const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void JSAPI::registerEventMethod(const std::wstring& name, const JSObjectPtr& handler) {
    registerEventMethod(wstring_to_utf8(name), handler);
}
void JSAPI::unregisterEventMethod(const std::string&, const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void JSAPI::unregisterEventMethod(const std::wstring& name, const JSObjectPtr& handler) {
    unregisterEventMethod(wstring_to_utf8(name), handler);
}
void JSAPI::registerEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void JSAPI::unregisterEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}

void JSAPI::getMemberNames(std::vector<std::wstring>& names) const {
    std::vector<std::string> narrow;
    getMemberNames(narrow);
    names.reserve(names.size() + narrow.size());
    for (const auto& name : narrow)
        names.push_back(utf8_to_wstring(name));
}

bool JSAPI::HasMethod(const std::wstring& name) const {
    return HasMethod(wstring_to_utf8(name));
}
bool JSAPI::HasMethodObject(const std::string&) const {
    return false;
}
bool JSAPI::HasMethodObject(const std::wstring& name) const {
    return HasMethodObject(wstring_to_utf8(name));
}
bool JSAPI::HasProperty(const std::wstring& name) const {
    return HasProperty(wstring_to_utf8(name));
}
JSAPIPtr JSAPI::GetMethodObject(const std::string&) {
    return JSAPIPtr();
}
JSAPIPtr JSAPI::GetMethodObject(const std::wstring& name) {
    return GetMethodObject(wstring_to_utf8(name));
}
variant JSAPI::GetProperty(const std::wstring& name) {
    return GetProperty(wstring_to_utf8(name));
}
void JSAPI::SetProperty(const std::wstring& name, const variant& value) {
    SetProperty(wstring_to_utf8(name), value);
}
void JSAPI::RemoveProperty(const std::wstring& name) {
    RemoveProperty(wstring_to_utf8(name));
}
variant JSAPI::Invoke(const std::wstring& name, const VariantList& args) {
    return Invoke(wstring_to_utf8(name), args);
}

} // namespace FW
