#pragma once
// Builds the callable that the member registry stores for a member function:
// it checks the script arguments, converts each to the parameter's type and
// turns the result into a variant.
//
//     registerMethod("add", make_method(this, &MyAPI::add));

#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "JSAPIAuto.h"

namespace FW {
namespace method_detail {

[[noreturn]] void throwNotOptional(size_t index);
[[noreturn]] void throwTooMany(size_t expected);
[[noreturn]] void throwConversion(const bad_variant_cast& e, size_t index);
const variant& emptyVariant();

// One converted argument; index is 1-based.
template <class T>
class Arg {
public:
    void fill(const VariantList& args, size_t index) {
        if (args.size() < index)
            throwNotOptional(index);
        try {
            m_value.emplace(args[index - 1].template convert<T>());
        } catch (const bad_variant_cast& e) {
            throwConversion(e, index);
        }
    }
    T& get() { return *m_value; }

private:
    std::optional<T> m_value;
};

// Variants pass through unchanged; a missing one is empty.
template <>
class Arg<variant> {
public:
    void fill(const VariantList& args, size_t index) {
        m_value = args.size() < index ? &emptyVariant() : &args[index - 1];
    }
    const variant& get() { return *m_value; }

private:
    const variant* m_value = nullptr;
};

// Text that already is a narrow string is referred to, not copied.
template <>
class Arg<std::string> {
public:
    void fill(const VariantList& args, size_t index) {
        if (args.size() < index)
            throwNotOptional(index);
        const variant& arg = args[index - 1];
        if (arg.holds<std::string>()) {
            m_value = &arg.get<std::string>();
            return;
        }
        try {
            m_owned = arg.convert<std::string>();
        } catch (const bad_variant_cast& e) {
            throwConversion(e, index);
        }
        m_value = &m_owned;
    }
    const std::string& get() { return *m_value; }

private:
    const std::string* m_value = nullptr;
    std::string m_owned;
};

template <class T>
using ArgFor = Arg<std::remove_cv_t<std::remove_reference_t<T>>>;

// Parameters are examined from the last to the first, and the count together
// with the last one, so the first failure met is the one reported.
template <class... Params, size_t... I>
void fillArgs(std::tuple<ArgFor<Params>...>& slots, const VariantList& args,
              std::index_sequence<I...>) {
    constexpr size_t n = sizeof...(Params);
    if (args.size() > n)
        throwTooMany(n);
    (std::get<n - 1 - I>(slots).fill(args, n - I), ...);
}

template <class R, class F, class... Params, size_t... I>
variant callWith(F&& call, std::tuple<ArgFor<Params>...>& slots, std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
        call(std::get<I>(slots).get()...);
        return variant();
    } else {
        return variant(call(std::get<I>(slots).get()...));
    }
}

template <class R, class... Params, class F>
CallMethodFunctor makeCaller(F call) {
    if constexpr (sizeof...(Params) == 0) {
        // Arguments given to a function without parameters are ignored.
        return [call](const VariantList&) -> variant {
            if constexpr (std::is_void_v<R>) {
                call();
                return variant();
            } else {
                return variant(call());
            }
        };
    } else {
        return [call](const VariantList& args) -> variant {
            std::tuple<ArgFor<Params>...> slots;
            using Seq = std::index_sequence_for<Params...>;
            fillArgs<Params...>(slots, args, Seq());
            return callWith<R, const F&, Params...>(call, slots, Seq());
        };
    }
}

} // namespace method_detail

template <class C, class R, class... Params>
CallMethodFunctor make_method(C* object, R (C::*method)(Params...)) {
    static_assert(sizeof...(Params) <= 6, "script methods take at most 6 parameters");
    return method_detail::makeCaller<R, Params...>(
        [object, method](auto&&... a) -> R { return (object->*method)(a...); });
}

template <class C, class R, class... Params>
CallMethodFunctor make_method(C* object, R (C::*method)(Params...) const) {
    static_assert(sizeof...(Params) <= 6, "script methods take at most 6 parameters");
    return method_detail::makeCaller<R, Params...>(
        [object, method](auto&&... a) -> R { return (object->*method)(a...); });
}

} // namespace FW
