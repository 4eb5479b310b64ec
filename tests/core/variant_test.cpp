// Holding, exact access, empty and null values, lists, maps and ordering.
#include "variant.h"
#include "variant_test_support.h"

#include <gtest/gtest.h>
#include <cstddef>
#include <set>
#include <type_traits>
#include <typeinfo>

using FW::variant;
using FW::VariantList;
using FW::VariantMap;
using FW::variant_detail::type_name;
using variant_testing::message_of;
using variant_testing::refuses;
using variant_testing::refuses_value;

namespace {

const char* const badAnyCast = "boost::bad_any_cast: failed conversion using boost::any_cast";

} // namespace

TEST(VariantHolding, IntAndLongAreDistinctHeldTypes) {
    const variant i = 7;
    EXPECT_TRUE(i.holds<int>());
    EXPECT_FALSE(i.holds<long>());
    EXPECT_EQ(i.type(), typeid(int));
    EXPECT_EQ(i.get<int>(), 7);
    EXPECT_EQ(i.convert<long>(), 7L);
    EXPECT_EQ(message_of([&] { i.get<long>(); }), badAnyCast);

    const variant l = 7L;
    EXPECT_TRUE(l.holds<long>());
    EXPECT_FALSE(l.holds<int>());
    EXPECT_EQ(l.convert<int>(), 7);
    EXPECT_THROW(l.get<int>(), boost::bad_any_cast);

    const variant u = 7u;
    const variant ul = 7ul;
    EXPECT_TRUE(u.holds<unsigned int>());
    EXPECT_FALSE(u.holds<unsigned long>());
    EXPECT_TRUE(ul.holds<unsigned long>());
    EXPECT_FALSE(ul.holds<unsigned int>());
}

TEST(VariantHolding, ExactAccessNeverConverts) {
    const variant text = std::string("42");
    EXPECT_EQ(text.get<std::string>(), "42");
    EXPECT_THROW(text.get<int>(), boost::bad_any_cast);
    EXPECT_THROW(variant(1.0f).get<double>(), boost::bad_any_cast);
    EXPECT_THROW(variant().get<FW::variant_detail::empty>(), boost::bad_any_cast);
}

TEST(VariantHolding, TextPointersAreStoredAsStrings) {
    const variant narrow = "caf\xC3\xA9";
    EXPECT_TRUE(narrow.holds<std::string>());
    EXPECT_EQ(narrow.get<std::string>(), "caf\xC3\xA9");

    const wchar_t* widePointer = L"wide";
    const variant wide = widePointer;
    EXPECT_TRUE(wide.holds<std::wstring>());
    EXPECT_EQ(wide.get<std::wstring>(), L"wide");

    char buffer[] = "mutable";
    variant assigned;
    assigned = buffer;
    EXPECT_EQ(assigned.get<std::string>(), "mutable");

    // Other pointers do not quietly become booleans.
    static_assert(!std::is_convertible_v<int*, variant>);
    static_assert(!std::is_convertible_v<const unsigned char*, variant>);
    static_assert(!std::is_convertible_v<std::nullptr_t, variant>);
    static_assert(!std::is_convertible_v<wchar_t, variant>);

    // A null text pointer holds script null rather than reading through it.
    const char* nothing = nullptr;
    EXPECT_TRUE(variant(nothing).is_null());
    const wchar_t* wideNothing = nullptr;
    EXPECT_TRUE(variant(wideNothing).is_null());
}

TEST(VariantHolding, EmptyAndNull) {
    const variant none;
    EXPECT_TRUE(none.is_empty());
    EXPECT_FALSE(none.is_null());
    EXPECT_EQ(none.type(), typeid(void));
    EXPECT_FALSE(none.holds<FW::variant_detail::empty>());

    const variant undefined = FW::variant_detail::empty();
    EXPECT_TRUE(undefined.is_empty());
    EXPECT_TRUE(undefined.holds<FW::variant_detail::empty>());
    EXPECT_EQ(undefined.type(), typeid(FW::variant_detail::empty));

    const variant null = FW::variant_detail::null();
    EXPECT_TRUE(null.is_null());
    EXPECT_FALSE(null.is_empty());

    for (const variant& v : {none, undefined, null}) {
        EXPECT_THROW(v.convert<short>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<int>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<unsigned long long>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<double>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<std::string>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<std::wstring>(), FW::bad_variant_cast);
        EXPECT_TRUE(v.convert<VariantList>().empty());
        EXPECT_TRUE(v.convert<VariantMap>().empty());
    }
    EXPECT_TRUE((refuses<int, void>(none)));
    EXPECT_TRUE((refuses<std::string, FW::variant_detail::empty>(undefined)));
    EXPECT_TRUE((refuses<std::wstring, FW::variant_detail::null>(null)));
    // Booleans go through long, so the refusal names long.
    EXPECT_TRUE((refuses<bool, void>(none, type_name<long>())));
    EXPECT_TRUE((refuses<bool, FW::variant_detail::null>(null, type_name<long>())));
}

TEST(VariantHolding, CopyAndAssignmentReplaceTheValue) {
    variant v = 5;
    variant copy = v;
    v = std::string("five");
    EXPECT_TRUE(v.holds<std::string>());
    EXPECT_EQ(copy.get<int>(), 5);

    copy = v;
    EXPECT_EQ(copy.get<std::string>(), "five");
    v = 2.5;
    EXPECT_EQ(copy.get<std::string>(), "five");

    variant moved = std::move(copy);
    EXPECT_EQ(moved.get<std::string>(), "five");
    EXPECT_TRUE(copy.is_empty()); // NOLINT(bugprone-use-after-move): moved-from is empty
    copy = moved;
    EXPECT_TRUE(copy < variant(std::string("six")));
}

// Numbers and flags are kept in the variant itself, text and objects apart;
// every copy, move, swap and assignment between the two keeps each value whole.
TEST(VariantHolding, ValuesSurviveCopiesMovesAndSwapsBetweenNumbersAndText) {
    variant number = 42LL;
    variant text = std::string("forty-two");

    variant moved = std::move(number);
    EXPECT_EQ(moved.get<long long>(), 42);
    EXPECT_EQ(moved.type(), typeid(long long));
    EXPECT_TRUE(number.is_empty()); // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(number.type(), typeid(void));

    number = text;
    text = 1.5;
    EXPECT_EQ(number.get<std::string>(), "forty-two");
    EXPECT_EQ(text.get<double>(), 1.5);
    text = std::move(number);
    EXPECT_EQ(text.get<std::string>(), "forty-two");
    number = moved;
    EXPECT_EQ(number.get<long long>(), 42);

    text.swap(number);
    EXPECT_EQ(text.get<long long>(), 42);
    EXPECT_EQ(number.get<std::string>(), "forty-two");
    variant flag = true;
    variant small = static_cast<short>(-3);
    flag.swap(small);
    EXPECT_EQ(flag.get<short>(), -3);
    EXPECT_TRUE(small.get<bool>());
    EXPECT_EQ(small.type(), typeid(bool));

    variant& same = number;
    number = same;
    EXPECT_EQ(number.get<std::string>(), "forty-two");
    number = std::move(same);
    EXPECT_EQ(number.get<std::string>(), "forty-two");
    variant& sameFlag = small;
    small = sameFlag;
    small = std::move(sameFlag);
    EXPECT_TRUE(small.get<bool>());

    // A growing list moves its elements; each keeps its value and type.
    VariantList values;
    for (int i = 0; i < 40; ++i) {
        if (i % 2)
            values.emplace_back(std::to_string(i));
        else
            values.emplace_back(i * 0.5f);
    }
    VariantList copy = values;
    values.clear();
    for (int i = 0; i < 40; ++i) {
        if (i % 2)
            EXPECT_EQ(copy[i].get<std::string>(), std::to_string(i));
        else
            EXPECT_EQ(copy[i].get<float>(), i * 0.5f);
    }
}

TEST(VariantHolding, ReferencesAndErrorsAreHeld) {
    const variant api = FW::JSAPIPtr();
    const variant weak = FW::JSAPIWeakPtr();
    const variant object = FW::JSObjectPtr();
    const variant error = FW::ScriptErrorPtr();
    EXPECT_TRUE(api.holds<FW::JSAPIPtr>());
    EXPECT_TRUE(weak.holds<FW::JSAPIWeakPtr>());
    EXPECT_TRUE(object.holds<FW::JSObjectPtr>());
    EXPECT_TRUE(error.holds<FW::ScriptErrorPtr>());

    // No object at all reads out as an empty list or map.
    for (const variant& v : {api, weak, object}) {
        EXPECT_TRUE(v.convert<VariantList>().empty());
        EXPECT_TRUE(v.convert<VariantMap>().empty());
        EXPECT_THROW(v.convert<std::string>(), FW::bad_variant_cast);
        EXPECT_THROW(v.convert<int>(), FW::bad_variant_cast);
    }
    EXPECT_TRUE((refuses<VariantList, FW::ScriptErrorPtr>(error, type_name<FW::JSObjectPtr>())));
    EXPECT_TRUE((refuses<std::wstring, FW::JSObjectPtr>(object)));
    EXPECT_TRUE((refuses<bool, FW::JSAPIWeakPtr>(weak, type_name<long>())));
}

TEST(VariantLists, ListsAndMapsAreCopiedOthersRefusedAsBrowserObjects) {
    VariantList list{1, "two", 3.0};
    const variant heldList = list;
    const VariantList copied = heldList.convert<VariantList>();
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[1].get<std::string>(), "two");
    list.clear();
    EXPECT_EQ(heldList.get<VariantList>().size(), 3u);

    const variant heldMap = VariantMap{{"b", 2}, {"a", VariantList{true}}};
    const VariantMap map = heldMap.convert<VariantMap>();
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.begin()->first, "a");
    EXPECT_TRUE(map.at("a").get<VariantList>().at(0).get<bool>());

    // Anything else must be a browser object to be read out, so the refusal
    // names the browser-object reference type.
    const std::string object = type_name<FW::JSObjectPtr>();
    EXPECT_TRUE((refuses<VariantList, int>(variant(1), object)));
    EXPECT_TRUE((refuses<VariantMap, double>(variant(1.0), object)));
    EXPECT_TRUE((refuses<VariantList, std::string>(variant("text"), object)));
    EXPECT_TRUE((refuses<VariantMap, VariantList>(heldList, object)));
    EXPECT_TRUE((refuses<VariantList, VariantMap>(heldMap, object)));
}

TEST(VariantLists, FailedConversionLeavesTheSourceUnchanged) {
    const variant big = 3000000000u;
    EXPECT_THROW(big.convert<int>(), FW::bad_variant_cast);
    EXPECT_TRUE(big.holds<unsigned int>());
    EXPECT_EQ(big.get<unsigned int>(), 3000000000u);

    const variant text = std::string("apples\xFF");
    EXPECT_THROW(text.convert<double>(), FW::bad_variant_cast);
    EXPECT_THROW(text.convert<std::wstring>(), std::exception);
    EXPECT_EQ(text.get<std::string>(), "apples\xFF");

    const variant list = VariantList{1, 2};
    EXPECT_THROW(list.convert<std::string>(), FW::bad_variant_cast);
    EXPECT_EQ(list.get<VariantList>().size(), 2u);
}

TEST(VariantOrdering, SameTypesOrderByTheirValues) {
    EXPECT_TRUE(variant(1) < variant(2));
    EXPECT_FALSE(variant(2) < variant(1));
    EXPECT_FALSE(variant(2) < variant(2));
    EXPECT_TRUE(variant(-1.5) < variant(0.25));
    EXPECT_TRUE(variant("apple") < variant("banana"));
    EXPECT_TRUE(variant(false) < variant(true));
    EXPECT_TRUE(variant(VariantList{1, 2}) < variant(VariantList{1, 3}));
    EXPECT_TRUE(variant(VariantList{1}) < variant(VariantList{1, 0}));
    EXPECT_TRUE(variant(VariantMap{{"a", 1}}) < variant(VariantMap{{"a", 2}}));

    const variant empty;
    EXPECT_FALSE(empty < variant());
    EXPECT_FALSE(variant(FW::variant_detail::null()) < variant(FW::variant_detail::null()));
    EXPECT_FALSE(variant(FW::JSAPIWeakPtr()) < variant(FW::JSAPIWeakPtr()));
}

TEST(VariantOrdering, MixedTypesFormAStrictWeakOrder) {
    // Assignment replaces the ordering along with the value.
    variant changing = 10;
    changing = std::string("10");
    EXPECT_TRUE(changing < variant(std::string("9")));

    std::set<variant> values{3,
                             std::string("x"),
                             1,
                             3L,
                             std::string("a"),
                             3,
                             2.0,
                             true,
                             variant(),
                             FW::variant_detail::null(),
                             3L,
                             std::string("a"),
                             1.0f,
                             VariantList{}};
    EXPECT_EQ(values.size(), 11u);
    int ints = 0;
    int longs = 0;
    for (const variant& v : values) {
        ints += v.holds<int>() ? 1 : 0;
        longs += v.holds<long>() ? 1 : 0;
    }
    EXPECT_EQ(ints, 2);
    EXPECT_EQ(longs, 1);
    for (const variant& a : values) {
        for (const variant& b : values) {
            EXPECT_FALSE(a < b && b < a);
        }
    }
}

TEST(VariantNames, CastFailuresCarryReadableTypeNames) {
    try {
        variant(3000000000u).convert<int>();
        ADD_FAILURE() << "converted";
    } catch (const std::bad_cast& e) {
        EXPECT_STREQ(e.what(), "bad cast");
        const auto& cast = dynamic_cast<const FW::bad_variant_cast&>(e);
        EXPECT_EQ(cast.from, "unsigned int");
        EXPECT_EQ(cast.to, "int");
    }
    EXPECT_EQ(type_name<long>(), "long");
    EXPECT_EQ(type_name<void>(), "void");
    EXPECT_EQ(type_name<FW::variant_detail::empty>(), "FW::variant_detail::empty");
    EXPECT_NE(type_name<std::string>().find("basic_string<char"), std::string::npos);
    EXPECT_TRUE((refuses_value<std::wstring, long long>(1LL)));
}
