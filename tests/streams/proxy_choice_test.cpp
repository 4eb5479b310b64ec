// URL parts and the choice of a proxy from the user's settings.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "SystemProxyDetector.h"
#include "UrlParts.h"

using namespace FW;

namespace {

using Settings = std::map<std::string, std::string>;

TEST(UrlParts, SchemeHostAndPortWithDefaults) {
    auto url = parseUrl("HTTP://User:pw@Camera.Example:8080/path?q=1#f");
    ASSERT_TRUE(url);
    EXPECT_EQ("http", url->scheme);
    EXPECT_EQ("camera.example", url->host);
    EXPECT_EQ(8080, url->port);

    url = parseUrl("https://camera.example");
    ASSERT_TRUE(url);
    EXPECT_EQ(443, url->port);
    url = parseUrl("ftp://files.example/x");
    ASSERT_TRUE(url);
    EXPECT_EQ(21, url->port);
    url = parseUrl("rtsp://cam/stream");
    ASSERT_TRUE(url);
    EXPECT_EQ(0, url->port);
    url = parseUrl("http://host:/x");
    ASSERT_TRUE(url);
    EXPECT_EQ(80, url->port);
}

TEST(UrlParts, BracketedIPv6Host) {
    auto url = parseUrl("http://[FE80::1]:8000/");
    ASSERT_TRUE(url);
    EXPECT_EQ("fe80::1", url->host);
    EXPECT_EQ(8000, url->port);
    url = parseUrl("http://[::1]/");
    ASSERT_TRUE(url);
    EXPECT_EQ("::1", url->host);
    EXPECT_EQ(80, url->port);
}

TEST(UrlParts, MalformedUrlsAreRefused) {
    for (const char* text : {"", "camera.example", "http:/x", "://host/", "1http://host/",
                             "http:///path", "http://host:0/", "http://host:65536/",
                             "http://host:8a/", "http://[::1/", "http://[::1]x/", "http://user@/"})
        EXPECT_FALSE(parseUrl(text)) << text;
}

TEST(ProxyChoice, OneServerForEverySchemeTakesTheUrlsScheme) {
    ProxyConfig config{true, "cache.example:3128", ""};
    Settings settings;
    EXPECT_TRUE(chooseProxy(config, "https://camera.example/", settings));
    EXPECT_EQ((Settings{{"type", "https"}, {"hostname", "cache.example"}, {"port", "3128"}}),
              settings);
    config.servers = "http://cache.example/";
    EXPECT_TRUE(chooseProxy(config, "http://camera.example/", settings));
    EXPECT_EQ("80", settings["port"]);
}

TEST(ProxyChoice, PerSchemeServersAndSocks) {
    const ProxyConfig config{
        true, "http=web.example:8080; https=secure.example:8443;socks=s.example", ""};
    Settings settings;
    EXPECT_TRUE(chooseProxy(config, "https://camera.example/", settings));
    EXPECT_EQ("https", settings["type"]);
    EXPECT_EQ("secure.example", settings["hostname"]);
    EXPECT_EQ("8443", settings["port"]);
    EXPECT_TRUE(chooseProxy(config, "ftp://camera.example/", settings));
    EXPECT_EQ((Settings{{"type", "socks"}, {"hostname", "s.example"}, {"port", "1080"}}), settings);

    const ProxyConfig httpOnly{true, "http=web.example:8080", ""};
    Settings untouched{{"kept", "yes"}};
    EXPECT_FALSE(chooseProxy(httpOnly, "https://camera.example/", untouched));
    EXPECT_EQ((Settings{{"kept", "yes"}}), untouched);
}

TEST(ProxyChoice, DirectWhenOffBypassedOrLocal) {
    ProxyConfig config{false, "cache.example:3128", ""};
    Settings settings;
    EXPECT_FALSE(chooseProxy(config, "http://camera.example/", settings));
    config.enabled = true;
    config.bypass = "*.lan;10.0.*;<local>";
    for (const char* url : {"http://cam.lan/", "http://CAM.LAN:81/", "http://10.0.3.4/",
                            "http://camera/", "http://localhost:8000/", "http://127.0.0.1/",
                            "http://[::1]:8080/", "not a url", "file:///C:/x"})
        EXPECT_FALSE(chooseProxy(config, url, settings)) << url;
    EXPECT_TRUE(settings.empty());
    EXPECT_TRUE(chooseProxy(config, "http://10.1.3.4/", settings));
    EXPECT_TRUE(chooseProxy(config, "http://camera.example/", settings));
}

TEST(ProxyChoice, BypassPatternsMayNameTheScheme) {
    const ProxyConfig config{true, "cache.example:3128", "https://*.example"};
    Settings settings;
    EXPECT_FALSE(chooseProxy(config, "https://camera.example/", settings));
    EXPECT_TRUE(chooseProxy(config, "http://camera.example/", settings));
}

} // namespace
