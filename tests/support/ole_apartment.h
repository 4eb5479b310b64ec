#pragma once
// The tests of a program that includes this run in one OLE apartment of the
// main thread, entered before the first test and left after the last.

#include <gtest/gtest.h>

#include <ole2.h>

namespace test_support {

struct OleApartment : ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

inline const auto* const g_oleApartment =
    ::testing::AddGlobalTestEnvironment(new OleApartment);

} // namespace test_support
