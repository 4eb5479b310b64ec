// Script values of every held type, converted to every target type. A
// conversion either answers a value inside the target's range or refuses
// with an exception the scripting core knows; nothing crashes, leaks or
// loops without end.
#include "ByteReader.h"
#include "ConvertEveryTarget.h"
#include "VariantFromBytes.h"

using FW::variant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FW::BrowserHostPtr host = FW::Testing::TestBrowserHost::create();
    fuzzing::ByteReader in(data, size);
    fuzzing::VariantWorld world{host, {}};
    while (!in.empty()) {
        const variant value = fuzzing::decodeVariant(in, world);
        fuzzing::convertToEveryTarget(value);
        // Copies and orderings of any value are sound.
        variant copy = value;
        fuzzing::check(!(copy < value) && !(value < copy));
        variant moved = std::move(copy);
        moved.swap(copy);
        fuzzing::check(!(copy < value) && !(value < copy));
    }
    return 0;
}
