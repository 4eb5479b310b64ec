#pragma once
// Builds a script value of any held type from fuzzer bytes: a kind byte
// picks the type, the bytes after it the value; lists, maps and page arrays
// nest a few levels deep. Shared by the native fuzzers and the Windows
// replay, so that both read the same corpus the same way.

#include <memory>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "JSAPIAuto.h"
#include "JSExceptions.h"
#include "TestBrowserHost.h"
#include "TestPageObject.h"
#include "variant.h"

namespace fuzzing {

// What the values refer to: the page objects' host, and the scripting objects
// that weak references point to, kept alive for one input.
struct VariantWorld {
    FW::BrowserHostPtr host;
    std::vector<FW::JSAPIPtr> keepAlive;
};

constexpr int kHeldKinds = 23;
constexpr int kMaxDepth = 4;

inline std::wstring wideFrom(ByteReader& in) {
    std::wstring out;
    for (char16_t unit : in.units())
        out.push_back(static_cast<wchar_t>(unit));
    // Where wchar_t is 32 bits, values past UTF-16's reach too.
    if (sizeof(wchar_t) == 4 && in.flag())
        out.push_back(static_cast<wchar_t>(in.number<uint32_t>()));
    return out;
}

inline FW::variant decodeVariant(ByteReader& in, VariantWorld& world, int depth = 0) {
    using namespace FW;
    const int kind = in.byte() % kHeldKinds;
    switch (kind) {
    case 0:
        return variant();
    case 1:
        return variant(variant_detail::null());
    case 2:
        return variant(in.flag());
    case 3:
        return variant(in.number<char>());
    case 4:
        return variant(in.number<unsigned char>());
    case 5:
        return variant(in.number<short>());
    case 6:
        return variant(in.number<unsigned short>());
    case 7:
        return variant(in.number<int>());
    case 8:
        return variant(in.number<unsigned int>());
    case 9:
        // Held longs come from 32-bit values on every host.
        return variant(static_cast<long>(in.number<int32_t>()));
    case 10:
        return variant(static_cast<unsigned long>(in.number<uint32_t>()));
    case 11:
        return variant(in.number<long long>());
    case 12:
        return variant(in.number<unsigned long long>());
    case 13:
        return variant(in.number<float>());
    case 14:
        return variant(in.number<double>());
    case 15:
        return variant(in.text());
    case 16:
        return variant(wideFrom(in));
    case 17:
    case 18: {
        const size_t count = depth < kMaxDepth ? in.byte() % 6 : 0;
        if (kind == 17) {
            VariantList list;
            for (size_t i = 0; i < count; ++i)
                list.push_back(decodeVariant(in, world, depth + 1));
            return variant(list);
        }
        VariantMap map;
        for (size_t i = 0; i < count; ++i) {
            std::string key = in.text();
            map[key] = decodeVariant(in, world, depth + 1);
        }
        return variant(map);
    }
    case 19:
    case 20: {
        if (in.flag())
            return kind == 19 ? variant(JSAPIPtr()) : variant(JSAPIWeakPtr());
        auto api = std::make_shared<JSAPIAuto>(in.text());
        world.keepAlive.push_back(api);
        return kind == 19 ? variant(JSAPIPtr(api)) : variant(JSAPIWeakPtr(api));
    }
    case 21: {
        if (!world.host || in.flag())
            return variant(JSObjectPtr());
        // A page array, or an object with named and indexed properties.
        const size_t count = depth < kMaxDepth ? in.byte() % 5 : 0;
        VariantList values;
        for (size_t i = 0; i < count; ++i)
            values.push_back(decodeVariant(in, world, depth + 1));
        if (in.flag())
            return variant(JSObjectPtr(Testing::TestPageObject::makeArray(world.host, values)));
        auto object = std::make_shared<Testing::TestPageObject>(world.host);
        for (const variant& value : values)
            object->setProperty(in.text(), value);
        if (in.flag())
            object->setProperty("length", decodeVariant(in, world, kMaxDepth));
        return variant(JSObjectPtr(object));
    }
    default:
        if (in.flag())
            return variant(ScriptErrorPtr());
        return variant(std::make_shared<script_error>(in.text()));
    }
}

} // namespace fuzzing
