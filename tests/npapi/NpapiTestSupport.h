#pragma once
// A browser, a host on it and helpers shared by the adapter's tests.

#include <gtest/gtest.h>

#include "FakeBrowser.h"
#include "NPJavascriptObject.h"
#include "NPObjectAPI.h"
#include "NpapiBrowserHost.h"

namespace FW {
namespace Testing {

class NpapiTest : public ::testing::Test {
protected:
    FakeBrowser browser;
    std::shared_ptr<Npapi::NpapiBrowserHost> host = makeHost();

    std::shared_ptr<Npapi::NpapiBrowserHost> makeHost() {
        auto h = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
        h->setBrowserFuncs(browser.funcs());
        return h;
    }
    void TearDown() override {
        host->shutdown();
        host.reset();
        EXPECT_EQ(0, browser.liveObjects());
        EXPECT_EQ(0, browser.liveBlocks());
    }

    static NPVariant npInt(int32_t v) {
        NPVariant r;
        r.type = NPVariantType_Int32;
        r.value.intValue = v;
        return r;
    }
    static NPVariant npVoid() {
        NPVariant r;
        r.type = NPVariantType_Void;
        r.value.objectValue = nullptr;
        return r;
    }
    static NPVariant npObject(NPObject* o) {
        NPVariant r;
        r.type = NPVariantType_Object;
        r.value.objectValue = o;
        return r;
    }
    NPVariant toNP(const variant& v) {
        NPVariant r = npVoid();
        host->getNPVariant(&r, v);
        return r;
    }
};

} // namespace Testing
} // namespace FW
