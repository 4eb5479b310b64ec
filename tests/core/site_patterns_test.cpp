#include "site_patterns.h"

#include <gtest/gtest.h>

using orvelaSites::AllowList;
using orvelaSites::describePage;
using orvelaSites::parsePattern;
using orvelaSites::refusalMessage;

namespace {

AllowList listOf(std::vector<std::string> entries) {
    return AllowList::fromEntries(entries);
}

} // namespace

TEST(SitePatterns, SchemeAndHostMatchWithoutCase) {
    const AllowList list = listOf({"HTTP://Cams.Example.COM"});
    EXPECT_TRUE(list.allows("http://cams.example.com/view.html"));
    EXPECT_TRUE(list.allows("hTTp://CAMS.example.com"));
    EXPECT_FALSE(list.allows("https://cams.example.com/"));
    EXPECT_FALSE(list.allows("http://cams.example.co/"));
    EXPECT_FALSE(list.allows("http://xcams.example.com/"));
}

TEST(SitePatterns, PortCountsAndDefaultPortsEqualExplicitOnes) {
    const AllowList list = listOf({"https://cams.example.com:8443", "http://192.168.1.64"});
    EXPECT_TRUE(list.allows("https://cams.example.com:8443/live"));
    EXPECT_FALSE(list.allows("https://cams.example.com/live"));
    EXPECT_FALSE(list.allows("https://cams.example.com:443/live"));
    EXPECT_TRUE(list.allows("http://192.168.1.64:80/"));
    EXPECT_TRUE(list.allows("http://192.168.1.64:/"));
    EXPECT_FALSE(list.allows("http://192.168.1.64:8080/"));
    EXPECT_TRUE(listOf({"https://a.example:443"}).allows("https://a.example/x"));
    EXPECT_TRUE(listOf({"http://a.example:80/"}).allows("http://a.example?q"));
}

TEST(SitePatterns, WildcardMatchesSubdomainsOnly) {
    const AllowList list = listOf({"https://*.example.com"});
    EXPECT_TRUE(list.allows("https://cams.example.com/"));
    EXPECT_TRUE(list.allows("https://a.b.example.com/"));
    EXPECT_FALSE(list.allows("https://example.com/"));
    EXPECT_FALSE(list.allows("https://evilexample.com/"));
    EXPECT_FALSE(list.allows("https://example.com.evil.example/"));
    EXPECT_FALSE(list.allows("http://cams.example.com/"));
}

TEST(SitePatterns, TheHostIsReadAsBrowsersReadIt) {
    const AllowList list = listOf({"http://cams.example.com"});
    // What stands before the last '@' is user information, not the host.
    EXPECT_FALSE(list.allows("http://cams.example.com@evil.example/"));
    EXPECT_TRUE(list.allows("http://user:pw@cams.example.com/"));
    // A backslash, query or fragment ends the host.
    EXPECT_FALSE(list.allows("http://evil.example\\@cams.example.com/"));
    EXPECT_TRUE(list.allows("http://cams.example.com#x"));
    EXPECT_TRUE(list.allows("http://cams.example.com?x"));
    // Hosts that are not plain names are refused, not guessed at.
    EXPECT_FALSE(list.allows("http://cams%2eexample.com/"));
    EXPECT_FALSE(list.allows("http://cams..example.com/"));
    EXPECT_FALSE(list.allows("http:cams.example.com"));
    EXPECT_FALSE(list.allows(""));
    EXPECT_FALSE(list.allows("about:blank"));
    EXPECT_FALSE(list.allows("ftp://cams.example.com/"));
}

TEST(SitePatterns, FileEntryAllowsLocalPagesOnly) {
    const AllowList list = listOf({"file://"});
    EXPECT_TRUE(list.allows("file:///C:/cams/view.html"));
    EXPECT_TRUE(list.allows("FILE://server/share/view.html"));
    EXPECT_FALSE(list.allows("http://localhost/"));
    EXPECT_FALSE(listOf({"http://localhost"}).allows("file:///C:/view.html"));
    EXPECT_TRUE(listOf({"file:///"}).allows("file:///C:/view.html"));
}

TEST(SitePatterns, InvalidEntriesAreIgnoredAndReported) {
    const std::vector<std::string> entries = {"cams.example.com",
                                              "http://cams.example.com/view.html",
                                              "http://*",
                                              "http://cams.*.com",
                                              "https://*example.com",
                                              "http://cams.example.com:0",
                                              "http://cams.example.com:65536",
                                              "http://cams.example.com:8a",
                                              "ftp://cams.example.com",
                                              "http://user@cams.example.com",
                                              "http://",
                                              "",
                                              "file://server",
                                              "  https://good.example  ",
                                              "http://[::1]:8080"};
    std::vector<std::string> invalid;
    const AllowList list = AllowList::fromEntries(entries, &invalid);
    EXPECT_EQ(invalid.size(), entries.size() - 2);
    EXPECT_TRUE(list.allows("https://good.example/"));
    EXPECT_TRUE(list.allows("http://[::1]:8080/"));
    EXPECT_FALSE(list.allows("http://cams.example.com/"));
    EXPECT_FALSE(list.allows("http://cams.example.com/view.html"));
    EXPECT_TRUE(AllowList::fromEntries({"bad"}).empty());
    EXPECT_FALSE(AllowList::fromEntries({"bad"}).allows("http://bad/"));
}

TEST(SitePatterns, OneEntryMayHoldSeveralPatternsSeparatedBySemicolons) {
    std::vector<std::string> invalid;
    const AllowList list = AllowList::fromEntries(
        {"http://cams.example.com; https://*.example.org;;nonsense;", "file://"}, &invalid);
    EXPECT_TRUE(list.allows("http://cams.example.com/view.html"));
    EXPECT_TRUE(list.allows("https://a.example.org/"));
    EXPECT_TRUE(list.allows("file:///C:/view.html"));
    EXPECT_FALSE(list.allows("http://a.example.org/"));
    EXPECT_EQ(invalid, std::vector<std::string>{"nonsense"});
}

TEST(SitePatterns, PatternsKeepWhatTheyName) {
    const auto pattern = parsePattern("HTTPS://*.Example.com:8443/");
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->scheme, "https");
    EXPECT_EQ(pattern->host, "example.com");
    EXPECT_TRUE(pattern->subdomains);
    EXPECT_EQ(pattern->port, 8443);
    EXPECT_EQ(parsePattern("http://a.example")->port, 80);
}

TEST(SitePatterns, RefusedPagesAreNamedByTheirOrigin) {
    EXPECT_EQ(describePage("HTTP://Evil.Example/x/y.html?q#f"), "http://evil.example");
    EXPECT_EQ(describePage("https://evil.example:8443/"), "https://evil.example:8443");
    EXPECT_EQ(describePage("https://evil.example:443/"), "https://evil.example");
    EXPECT_EQ(describePage("file:///C:/x.html"), "file://");
    EXPECT_EQ(describePage("about:blank"), "about:blank");
    EXPECT_EQ(describePage(""), "null");
    EXPECT_EQ(refusalMessage("http://evil.example/"),
              "This page is not allowed to use the camera: http://evil.example");
}
