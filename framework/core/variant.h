#pragma once
// FW::variant: the script value passed between page script and the plug-in.
// It holds one value out of a closed set of types, hands it out exactly
// (get) and converts it by fixed rules (convert).
//
// Held types: variant_detail::empty, variant_detail::null, bool, char,
// unsigned char, short, unsigned short, int, unsigned int, long,
// unsigned long, long long, unsigned long long, float, double, std::string
// (UTF-8), std::wstring, VariantList, VariantMap, JSAPIPtr, JSAPIWeakPtr,
// JSObjectPtr and ScriptErrorPtr.
//
// int and long (and their unsigned forms) are distinct held types with
// 32-bit ranges everywhere. Where long is 64 bits wide (LP64 hosts) the held
// type is still long, but every conversion to long or unsigned long is
// range-checked against 32 bits, so conversions behave as on Windows. The
// 64-bit integers are held as long long / unsigned long long (on LP64 hosts
// std::int64_t is long and is therefore held as long).
//
// Text pointers are stored as strings (a null pointer as null); shared and
// weak references to subclasses of JSAPI, JSObject and script_error are stored
// as the base references. Converting to a scripting-object reference needs
// JSAPI and JSObject to be complete where that conversion is used.

#include "APITypes.h"

#include <boost/any.hpp>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace FW {

class variant;
using VariantList = std::vector<variant>;
using VariantMap = std::map<std::string, variant>;

namespace variant_detail {

// The script value undefined.
struct empty {};
// The script value null.
struct null {};

// Readable name of a type as the compiler spells it, computed once per type.
std::string demangle(const char* mangled_name);
template <class T>
const std::string& type_name() {
    static const std::string name = demangle(typeid(T).name());
    return name;
}

enum class kind : unsigned char {
    none, // no holder at all
    empty,
    null,
    boolean,
    character,
    unsigned_character,
    short_integer,
    unsigned_short_integer,
    integer,
    unsigned_integer,
    long_integer,
    unsigned_long_integer,
    integer64,
    unsigned_integer64,
    single_float,
    double_float,
    string,
    wide_string,
    list,
    map,
    api,
    api_weak,
    browser_object,
    error,
};

template <class T>
inline constexpr kind kind_of = kind::none;
template <>
inline constexpr kind kind_of<empty> = kind::empty;
template <>
inline constexpr kind kind_of<null> = kind::null;
template <>
inline constexpr kind kind_of<bool> = kind::boolean;
template <>
inline constexpr kind kind_of<char> = kind::character;
template <>
inline constexpr kind kind_of<unsigned char> = kind::unsigned_character;
template <>
inline constexpr kind kind_of<short> = kind::short_integer;
template <>
inline constexpr kind kind_of<unsigned short> = kind::unsigned_short_integer;
template <>
inline constexpr kind kind_of<int> = kind::integer;
template <>
inline constexpr kind kind_of<unsigned int> = kind::unsigned_integer;
template <>
inline constexpr kind kind_of<long> = kind::long_integer;
template <>
inline constexpr kind kind_of<unsigned long> = kind::unsigned_long_integer;
template <>
inline constexpr kind kind_of<long long> = kind::integer64;
template <>
inline constexpr kind kind_of<unsigned long long> = kind::unsigned_integer64;
template <>
inline constexpr kind kind_of<float> = kind::single_float;
template <>
inline constexpr kind kind_of<double> = kind::double_float;
template <>
inline constexpr kind kind_of<std::string> = kind::string;
template <>
inline constexpr kind kind_of<std::wstring> = kind::wide_string;
template <>
inline constexpr kind kind_of<VariantList> = kind::list;
template <>
inline constexpr kind kind_of<VariantMap> = kind::map;
template <>
inline constexpr kind kind_of<JSAPIPtr> = kind::api;
template <>
inline constexpr kind kind_of<JSAPIWeakPtr> = kind::api_weak;
template <>
inline constexpr kind kind_of<JSObjectPtr> = kind::browser_object;
template <>
inline constexpr kind kind_of<ScriptErrorPtr> = kind::error;

template <class T>
inline constexpr bool is_held = kind_of<T> != kind::none;

// Targets of the numeric conversion rules.
template <class T>
inline constexpr bool is_number =
    std::is_arithmetic_v<T>&& kind_of<T> >= kind::short_integer&& kind_of<T> <= kind::double_float;

// The scalar held types, which a variant keeps in itself rather than in a heap
// holder, so passing numbers and flags allocates nothing.
template <class T>
inline constexpr bool is_inline = kind_of<T> >= kind::empty&& kind_of<T> <= kind::double_float;

union scalar_value {
    empty empty_value;
    null null_value;
    bool boolean;
    char character;
    unsigned char unsigned_character;
    short short_integer;
    unsigned short unsigned_short_integer;
    int integer;
    unsigned int unsigned_integer;
    long long_integer;
    unsigned long unsigned_long_integer;
    long long integer64;
    unsigned long long unsigned_integer64;
    float single_float;
    double double_float;

    constexpr scalar_value() noexcept : unsigned_integer64() {}
};

template <class T>
inline constexpr T scalar_value::*slot_of = nullptr;
template <>
inline constexpr empty scalar_value::*slot_of<empty> = &scalar_value::empty_value;
template <>
inline constexpr null scalar_value::*slot_of<null> = &scalar_value::null_value;
template <>
inline constexpr bool scalar_value::*slot_of<bool> = &scalar_value::boolean;
template <>
inline constexpr char scalar_value::*slot_of<char> = &scalar_value::character;
template <>
inline constexpr unsigned char scalar_value::*slot_of<unsigned char> =
    &scalar_value::unsigned_character;
template <>
inline constexpr short scalar_value::*slot_of<short> = &scalar_value::short_integer;
template <>
inline constexpr unsigned short scalar_value::*slot_of<unsigned short> =
    &scalar_value::unsigned_short_integer;
template <>
inline constexpr int scalar_value::*slot_of<int> = &scalar_value::integer;
template <>
inline constexpr unsigned int scalar_value::*slot_of<unsigned int> =
    &scalar_value::unsigned_integer;
template <>
inline constexpr long scalar_value::*slot_of<long> = &scalar_value::long_integer;
template <>
inline constexpr unsigned long scalar_value::*slot_of<unsigned long> =
    &scalar_value::unsigned_long_integer;
template <>
inline constexpr long long scalar_value::*slot_of<long long> = &scalar_value::integer64;
template <>
inline constexpr unsigned long long scalar_value::*slot_of<unsigned long long> =
    &scalar_value::unsigned_integer64;
template <>
inline constexpr float scalar_value::*slot_of<float> = &scalar_value::single_float;
template <>
inline constexpr double scalar_value::*slot_of<double> = &scalar_value::double_float;

// What a held type needs at run time, chosen when a value is assigned.
struct held_info {
    kind held_kind;
    bool (*less)(const variant&, const variant&);
    const std::string& (*name)();
    const std::type_info* type;
};

template <class T>
bool less_than(const variant& a, const variant& b);

inline bool never_less(const variant&, const variant&) {
    return false;
}

template <class T>
inline constexpr held_info info_of{kind_of<T>, &less_than<T>, &type_name<T>, &typeid(T)};
inline constexpr held_info no_holder_info{kind::none, &never_less, &type_name<void>, &typeid(void)};

// The held type that a source type is stored as; no `type` member (or void)
// for a source type that a variant cannot hold, so it takes no such value.
template <class T, class = void>
struct stored {};
template <class T>
struct stored<T, std::enable_if_t<is_held<T>>> {
    using type = T;
};
template <>
struct stored<const char*> {
    using type = std::string;
};
template <>
struct stored<char*> {
    using type = std::string;
};
template <>
struct stored<const wchar_t*> {
    using type = std::wstring;
};
template <>
struct stored<wchar_t*> {
    using type = std::wstring;
};
// References to subclasses are stored as references to their framework base.
template <class U>
struct stored<std::shared_ptr<U>, std::enable_if_t<!is_held<std::shared_ptr<U>>>> {
    using type =
        std::conditional_t<std::is_base_of_v<JSObject, U>, JSObjectPtr,
                           std::conditional_t<std::is_base_of_v<JSAPI, U>, JSAPIPtr,
                                              std::conditional_t<std::is_base_of_v<script_error, U>,
                                                                 ScriptErrorPtr, void>>>;
};
template <class U>
struct stored<std::weak_ptr<U>, std::enable_if_t<!is_held<std::weak_ptr<U>>>> {
    using type = std::conditional_t<std::is_base_of_v<JSAPI, U>, JSAPIWeakPtr, void>;
};

template <class T, class = void>
struct is_storable : std::false_type {};
template <class T>
struct is_storable<T, std::void_t<typename stored<T>::type>>
    : std::bool_constant<!std::is_void_v<typename stored<T>::type>> {};

// Shared references to scripting objects, which convert through the object
// rules rather than exactly.
template <class T>
struct is_object_reference : std::false_type {};
template <class U>
struct is_object_reference<std::shared_ptr<U>> : std::is_base_of<JSAPI, U> {};
template <>
struct is_object_reference<JSAPIPtr> : std::true_type {};
template <>
struct is_object_reference<JSObjectPtr> : std::true_type {};
template <>
struct is_object_reference<ScriptErrorPtr> : std::false_type {};

// Names X in a way that depends on T, so that X need only be complete where
// a conversion to T is used.
template <class X, class T>
struct deferred {
    using type = X;
};

} // namespace variant_detail

// A refused conversion. `from` names the held type, `to` the requested type.
class bad_variant_cast : public std::bad_cast {
public:
    bad_variant_cast(std::string from_type, std::string to_type)
        : from(std::move(from_type)), to(std::move(to_type)) {}
    const char* what() const noexcept override { return "bad cast"; }

    std::string from;
    std::string to;
};

class variant {
public:
    variant() noexcept = default;
    variant(const variant& other) = default;
    variant(variant&& other) noexcept
        : holder_(std::move(other.holder_)), scalar_(other.scalar_), info_(other.info_) {
        other.info_ = &variant_detail::no_holder_info;
    }
    template <class T,
              class = std::enable_if_t<variant_detail::is_storable<std::decay_t<T>>::value>>
    variant(T&& value) {
        assign(std::forward<T>(value));
    }

    variant& operator=(const variant& other) {
        variant(other).swap(*this);
        return *this;
    }
    variant& operator=(variant&& other) noexcept {
        variant(std::move(other)).swap(*this);
        return *this;
    }
    template <class T,
              class = std::enable_if_t<variant_detail::is_storable<std::decay_t<T>>::value>>
    variant& operator=(T&& value) {
        variant(std::forward<T>(value)).swap(*this);
        return *this;
    }

    void swap(variant& other) noexcept {
        holder_.swap(other.holder_);
        std::swap(scalar_, other.scalar_);
        std::swap(info_, other.info_);
    }

    // Identity of the held type; void when there is no holder.
    const std::type_info& type() const { return *info_->type; }

    template <class T>
    bool holds() const {
        if constexpr (variant_detail::is_held<T>) {
            return info_->held_kind == variant_detail::kind_of<T>;
        } else {
            return false;
        }
    }
    bool is_empty() const {
        return info_->held_kind == variant_detail::kind::none ||
               info_->held_kind == variant_detail::kind::empty;
    }
    bool is_null() const { return info_->held_kind == variant_detail::kind::null; }

    // The held value when the held type is exactly T; boost::bad_any_cast otherwise.
    template <class T>
    const T& get() const {
        if (!holds<T>()) {
            throw boost::bad_any_cast();
        }
        return held<T>();
    }

    // The value converted to T; bad_variant_cast when refused or out of range.
    template <class T>
    T convert() const;

    // Orders two variants holding the same type by that type's less-than;
    // variants holding different types are ordered by held type.
    bool operator<(const variant& other) const {
        if (info_->held_kind != other.info_->held_kind) {
            return info_->held_kind < other.info_->held_kind;
        }
        return info_->less(*this, other);
    }

private:
    template <class T>
    friend bool variant_detail::less_than(const variant&, const variant&);

    template <class T>
    void assign(T&& value);
    template <class T>
    const T& held() const {
        if constexpr (variant_detail::is_inline<T>) {
            return scalar_.*variant_detail::slot_of<T>;
        } else {
            return *boost::unsafe_any_cast<T>(&holder_);
        }
    }
    const std::string& held_type_name() const { return info_->name(); }
    [[noreturn]] void refuse(const std::string& to_type) const;

    template <class T>
    T convert_number() const;
    bool convert_bool() const;
    std::string convert_string() const;
    std::wstring convert_wstring() const;
    VariantList convert_list() const;
    VariantMap convert_map() const;
    bool holds_null_reference() const;
    template <class U>
    std::shared_ptr<U> convert_object() const;

    // The value of a scalar held type; every other held type is in holder_.
    boost::any holder_;
    variant_detail::scalar_value scalar_;
    const variant_detail::held_info* info_ = &variant_detail::no_holder_info;
};

template <class T>
bool variant_detail::less_than(const variant& a, const variant& b) {
    const T& x = a.held<T>();
    const T& y = b.held<T>();
    if constexpr (std::is_same_v<T, empty> || std::is_same_v<T, null>) {
        return false;
    } else if constexpr (std::is_same_v<T, JSAPIWeakPtr>) {
        return x.owner_before(y);
    } else {
        return x < y;
    }
}

template <class T>
void variant::assign(T&& value) {
    using Source = std::decay_t<T>;
    using Held = typename variant_detail::stored<Source>::type;
    if constexpr (std::is_pointer_v<Source>) {
        if constexpr (!std::is_array_v<std::remove_reference_t<T>>) {
            // A null text pointer is no text at all.
            if (!value) {
                ::new (&scalar_.null_value) variant_detail::null();
                info_ = &variant_detail::info_of<variant_detail::null>;
                return;
            }
        }
        holder_ = Held(value);
    } else if constexpr (variant_detail::is_inline<Held>) {
        ::new (&(scalar_.*variant_detail::slot_of<Held>)) Held(std::forward<T>(value));
    } else if constexpr (std::is_same_v<Source, Held>) {
        holder_ = std::forward<T>(value);
    } else {
        holder_ = Held(std::forward<T>(value));
    }
    info_ = &variant_detail::info_of<Held>;
}

template <class T>
T variant::convert() const {
    using variant_detail::kind_of;
    if constexpr (std::is_same_v<T, variant>) {
        return *this;
    } else if constexpr (variant_detail::is_object_reference<T>::value) {
        return convert_object<typename T::element_type>();
    } else {
        if constexpr (variant_detail::is_held<T>) {
            if (info_->held_kind == kind_of<T>) {
                return held<T>();
            }
        }
        if constexpr (std::is_same_v<T, bool>) {
            return convert_bool();
        } else if constexpr (variant_detail::is_number<T>) {
            return convert_number<T>();
        } else if constexpr (std::is_same_v<T, std::string>) {
            return convert_string();
        } else if constexpr (std::is_same_v<T, std::wstring>) {
            return convert_wstring();
        } else if constexpr (std::is_same_v<T, VariantList>) {
            return convert_list();
        } else if constexpr (std::is_same_v<T, VariantMap>) {
            return convert_map();
        } else {
            refuse(variant_detail::type_name<T>());
        }
    }
}

// Reference conversion: the held reference (a browser object as is, a weak
// reference locked, empty and null as no object, any other value refused),
// unwrapped when it is a browser object wrapping one of our own
// objects of type U, else cast dynamically to U.
template <class U>
std::shared_ptr<U> variant::convert_object() const {
    using Api = typename variant_detail::deferred<JSAPI, U>::type;
    using Object = typename variant_detail::deferred<JSObject, U>::type;
    using variant_detail::kind;
    std::shared_ptr<Api> reference;
    switch (info_->held_kind) {
    case kind::none:
    case kind::empty:
    case kind::null:
        return nullptr;
    case kind::browser_object:
        reference = held<std::shared_ptr<Object>>();
        break;
    case kind::api_weak:
        reference = held<std::weak_ptr<Api>>().lock();
        break;
    case kind::api:
        reference = held<std::shared_ptr<Api>>();
        break;
    default:
        refuse(variant_detail::type_name<std::shared_ptr<U>>());
    }
    if (!reference) {
        return nullptr;
    }
    if (auto browserObject = std::dynamic_pointer_cast<Object>(reference)) {
        if (auto inner = std::dynamic_pointer_cast<U>(browserObject->getJSAPI())) {
            return inner;
        }
    }
    if (auto result = std::dynamic_pointer_cast<U>(reference)) {
        return result;
    }
    refuse(variant_detail::type_name<std::shared_ptr<U>>());
}

extern template short variant::convert_number<short>() const;
extern template unsigned short variant::convert_number<unsigned short>() const;
extern template int variant::convert_number<int>() const;
extern template unsigned int variant::convert_number<unsigned int>() const;
extern template long variant::convert_number<long>() const;
extern template unsigned long variant::convert_number<unsigned long>() const;
extern template long long variant::convert_number<long long>() const;
extern template unsigned long long variant::convert_number<unsigned long long>() const;
extern template float variant::convert_number<float>() const;
extern template double variant::convert_number<double>() const;

} // namespace FW
