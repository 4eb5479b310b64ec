#include "variant.h"

#include "utf8_tools.h"

#include <boost/numeric/conversion/converter.hpp>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cxxabi.h>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>

namespace FW {

namespace variant_detail {

std::string demangle(const char* mangled_name) {
    // Some compilers mark names local to a translation unit with a leading '*'.
    if (*mangled_name == '*') {
        ++mangled_name;
    }
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable(
        abi::__cxa_demangle(mangled_name, nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(mangled_name);
}

} // namespace variant_detail

namespace {

using variant_detail::kind;
using variant_detail::type_name;

// long and unsigned long are 32-bit values everywhere, whatever the host's
// long is, so they convert through the 32-bit types.
template <class T>
struct range_of {
    using type = T;
};
template <>
struct range_of<long> {
    using type = std::int32_t;
};
template <>
struct range_of<unsigned long> {
    using type = std::uint32_t;
};
template <class T>
using range_t = typename range_of<T>::type;

// Range-checked cast with numeric_cast's rules: a floating value is truncated
// toward zero and must then lie within the target's range.
template <class T, class S>
std::optional<T> cast_number(S value) {
    using Range = range_t<T>;
    if constexpr (std::is_floating_point_v<S> && std::is_integral_v<Range>) {
        // The range is [-2^digits, 2^digits) or [0, 2^digits); both bounds are
        // exact in floating point, unlike the largest integer (numeric_cast
        // refuses the lowest 64-bit value through that rounding). NaN fails.
        const S whole = std::trunc(value);
        const S limit = std::ldexp(S(1), std::numeric_limits<Range>::digits);
        const S lowest = std::is_signed_v<Range> ? -limit : S(0);
        if (!(whole >= lowest && whole < limit)) {
            return std::nullopt;
        }
        return static_cast<T>(static_cast<Range>(whole));
    } else {
        if (boost::numeric::converter<Range, S>::out_of_range(value) != boost::numeric::cInRange) {
            return std::nullopt;
        }
        return static_cast<T>(static_cast<Range>(value));
    }
}

// Reads a leading number the way a stream does: leading white space skipped,
// trailing text ignored, failure on no number or a value out of range.
template <class T>
std::optional<T> parse_number(const std::string& text) {
    using Range = range_t<T>;
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    if constexpr (std::is_unsigned_v<Range>) {
        // A stream reads "-1" as the largest unsigned value; negative text is
        // refused like a negative number.
        const auto first = text.find_first_not_of(" \t\n\v\f\r");
        if (first != std::string::npos && text[first] == '-') {
            long long negative = 0;
            stream >> negative;
            if (stream.fail() || negative != 0) {
                return std::nullopt;
            }
            return T(0);
        }
    }
    Range value{};
    stream >> value;
    if (stream.fail()) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

// Default stream formatting: six significant digits, general notation.
template <class Char, class F>
std::optional<std::basic_string<Char>> format_float(F value) {
    std::basic_ostringstream<Char> stream;
    stream.imbue(std::locale::classic());
    stream << value;
    if (stream.fail()) {
        return std::nullopt;
    }
    return stream.str();
}

template <class Char>
bool is_true_word(const std::basic_string<Char>& text) {
    static const char* const words[] = {"y", "1", "yes", "true", "t"};
    for (const char* word : words) {
        std::size_t i = 0;
        for (; i < text.size() && word[i] != '\0'; ++i) {
            Char c = text[i];
            if (c >= Char('A') && c <= Char('Z')) {
                c = static_cast<Char>(c - Char('A') + Char('a'));
            }
            if (c != static_cast<Char>(word[i])) {
                break;
            }
        }
        if (i == text.size() && word[i] == '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

void variant::refuse(const std::string& to_type) const {
    throw bad_variant_cast(held_type_name(), to_type);
}

template <class T>
T variant::convert_number() const {
    std::optional<T> result;
    switch (info_->held_kind) {
    case kind::boolean:
        result = static_cast<T>(held<bool>() ? 1 : 0);
        break;
    case kind::character:
        result = cast_number<T>(held<char>());
        break;
    case kind::unsigned_character:
        result = cast_number<T>(held<unsigned char>());
        break;
    case kind::short_integer:
        result = cast_number<T>(held<short>());
        break;
    case kind::unsigned_short_integer:
        result = cast_number<T>(held<unsigned short>());
        break;
    case kind::integer:
        result = cast_number<T>(held<int>());
        break;
    case kind::unsigned_integer:
        result = cast_number<T>(held<unsigned int>());
        break;
    case kind::long_integer:
        result = cast_number<T>(held<long>());
        break;
    case kind::unsigned_long_integer:
        result = cast_number<T>(held<unsigned long>());
        break;
    case kind::integer64:
        result = cast_number<T>(held<long long>());
        break;
    case kind::unsigned_integer64:
        result = cast_number<T>(held<unsigned long long>());
        break;
    case kind::single_float:
        result = cast_number<T>(held<float>());
        break;
    case kind::double_float:
        result = cast_number<T>(held<double>());
        break;
    case kind::string:
        result = parse_number<T>(held<std::string>());
        break;
    case kind::wide_string:
        result = parse_number<T>(wstring_to_utf8(held<std::wstring>()));
        break;
    default:
        break;
    }
    if (!result) {
        refuse(type_name<T>());
    }
    return *result;
}

template short variant::convert_number<short>() const;
template unsigned short variant::convert_number<unsigned short>() const;
template int variant::convert_number<int>() const;
template unsigned int variant::convert_number<unsigned int>() const;
template long variant::convert_number<long>() const;
template unsigned long variant::convert_number<unsigned long>() const;
template long long variant::convert_number<long long>() const;
template unsigned long long variant::convert_number<unsigned long long>() const;
template float variant::convert_number<float>() const;
template double variant::convert_number<double>() const;

bool variant::convert_bool() const {
    switch (info_->held_kind) {
    case kind::boolean:
        return held<bool>();
    case kind::string:
        return is_true_word(held<std::string>());
    case kind::wide_string:
        return is_true_word(held<std::wstring>());
    default:
        return convert<long>() != 0;
    }
}

std::string variant::convert_string() const {
    std::optional<std::string> text;
    switch (info_->held_kind) {
    case kind::string:
        return held<std::string>();
    case kind::wide_string:
        return wstring_to_utf8(held<std::wstring>());
    case kind::boolean:
        return held<bool>() ? "true" : "false";
    case kind::character:
        return std::string(1, held<char>());
    case kind::unsigned_character:
        return std::string(1, static_cast<char>(held<unsigned char>()));
    case kind::short_integer:
        return std::to_string(held<short>());
    case kind::unsigned_short_integer:
        return std::to_string(held<unsigned short>());
    case kind::integer:
        return std::to_string(held<int>());
    case kind::unsigned_integer:
        return std::to_string(held<unsigned int>());
    case kind::long_integer:
        return std::to_string(held<long>());
    case kind::unsigned_long_integer:
        return std::to_string(held<unsigned long>());
    case kind::integer64:
        return std::to_string(held<long long>());
    case kind::unsigned_integer64:
        return std::to_string(held<unsigned long long>());
    case kind::single_float:
        text = format_float<char>(held<float>());
        break;
    case kind::double_float:
        text = format_float<char>(held<double>());
        break;
    default:
        break;
    }
    if (!text) {
        refuse(type_name<std::string>());
    }
    return std::move(*text);
}

std::wstring variant::convert_wstring() const {
    std::optional<std::wstring> text;
    switch (info_->held_kind) {
    case kind::wide_string:
        return held<std::wstring>();
    case kind::string:
        return utf8_to_wstring(held<std::string>());
    case kind::boolean:
        return held<bool>() ? L"true" : L"false";
    case kind::character:
        return std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(held<char>())));
    case kind::unsigned_character:
        return std::wstring(1, static_cast<wchar_t>(held<unsigned char>()));
    case kind::short_integer:
        return std::to_wstring(held<short>());
    case kind::unsigned_short_integer:
        return std::to_wstring(held<unsigned short>());
    case kind::integer:
        return std::to_wstring(held<int>());
    case kind::unsigned_integer:
        return std::to_wstring(held<unsigned int>());
    case kind::long_integer:
        return std::to_wstring(held<long>());
    case kind::unsigned_long_integer:
        return std::to_wstring(held<unsigned long>());
    case kind::single_float:
        text = format_float<wchar_t>(held<float>());
        break;
    case kind::double_float:
        text = format_float<wchar_t>(held<double>());
        break;
    default:
        // The 64-bit integers have no wide form.
        break;
    }
    if (!text) {
        refuse(type_name<std::wstring>());
    }
    return std::move(*text);
}

} // namespace FW
