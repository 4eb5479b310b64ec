#include "ScriptTypeWords.h"

#include <map>

#include "JSExceptions.h"

namespace FW {

namespace {

using variant_detail::type_name;

struct Words {
    const char* value;
    const char* target;
};

// Keyed by the compiler's names, which is what a refusal carries.
const std::map<std::string, Words>& wordsByTypeName() {
    static const std::map<std::string, Words> words = {
        {type_name<void>(), {"undefined", "undefined"}},
        {type_name<variant_detail::empty>(), {"undefined", "undefined"}},
        {type_name<variant_detail::null>(), {"null", "null"}},
        {type_name<bool>(), {"boolean", "boolean"}},
        {type_name<char>(), {"number", "integer"}},
        {type_name<unsigned char>(), {"number", "integer"}},
        {type_name<short>(), {"number", "16-bit integer"}},
        {type_name<unsigned short>(), {"number", "16-bit integer"}},
        {type_name<int>(), {"number", "integer"}},
        {type_name<unsigned int>(), {"number", "integer"}},
        {type_name<long>(), {"number", "integer"}},
        {type_name<unsigned long>(), {"number", "integer"}},
        {type_name<long long>(), {"number", "integer"}},
        {type_name<unsigned long long>(), {"number", "integer"}},
        {type_name<float>(), {"number", "number"}},
        {type_name<double>(), {"number", "number"}},
        {type_name<std::string>(), {"string", "string"}},
        {type_name<std::wstring>(), {"string", "string"}},
    };
    return words;
}

} // namespace

// Lists, maps, the plug-in's objects and the page's are all objects to script.
std::string scriptTypeOfValue(const std::string& heldType) {
    const auto& words = wordsByTypeName();
    auto found = words.find(heldType);
    return found == words.end() ? "object" : found->second.value;
}

std::string scriptTypeOfTarget(const std::string& targetType) {
    const auto& words = wordsByTypeName();
    auto found = words.find(targetType);
    return found == words.end() ? "object" : found->second.target;
}

void throwCouldNotConvert(const bad_variant_cast& e) {
    throw invalid_arguments("Could not convert from " + scriptTypeOfValue(e.from) + " to " +
                            scriptTypeOfTarget(e.to));
}

} // namespace FW
