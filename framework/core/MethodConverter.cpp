#include "MethodConverter.h"

#include "ScriptTypeWords.h"

namespace FW {
namespace method_detail {

void throwNotOptional(size_t index) {
    throw invalid_arguments("Error: Argument " + std::to_string(index) + "is not optional.");
}

void throwTooMany(size_t expected) {
    throw invalid_arguments("Too many arguments, expected " + std::to_string(expected) + ".");
}

void throwConversion(const bad_variant_cast& e, size_t index) {
    throw invalid_arguments("Invalid argument conversion from " + scriptTypeOfValue(e.from) +
                            " to " + scriptTypeOfTarget(e.to) + " at index " +
                            std::to_string(index));
}

const variant& emptyVariant() {
    static const variant empty;
    return empty;
}

} // namespace method_detail
} // namespace FW
