#include "http/clientmap.h"
#include "http/errors.h"
#include "http/urlanalyzer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Velto;

TEST(HttpUrlAnalyzerTest, SplitsUrls)
{
    const struct {
        const char* url;
        const char *scheme, *host, *port, *path, *extra, *fragment;
    } cases[] = {
        {"apihost/V1.0/x?method=x", "", "apihost", "", "/V1.0/x", "?method=x", ""},
        {"https://h/p", "https", "h", "", "/p", "", ""},
        {"HtTpS://h", "HtTpS", "h", "", "", "", ""},
        {"h:8080/p", "", "h", "8080", "/p", "", ""},
        {"http://h:80a/p?q#f", "http", "h", "80a", "/p", "?q", "#f"},
        {"h?q", "", "h", "", "", "?q", ""},
        {"h#f?x", "", "h", "", "", "", "#f?x"},
        {"http:///p", "http", "", "", "/p", "", ""},
        {"127.0.0.1:8080/V1.0/\xC3\xA9?a=b", "", "127.0.0.1", "8080", "/V1.0/\xC3\xA9", "?a=b", ""},
        {"http://[::1]:8080/V1.0/x?m", "http", "[::1]", "8080", "/V1.0/x", "?m", ""},
        {"[fe80::1%25eth0]/p", "", "[fe80::1%25eth0]", "", "/p", "", ""},
        {"[::1/p", "", "[::1", "", "/p", "", ""},
        {"", "", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        CHttpUrlAnalyzerT a;
        a.Analyze(c.url);
        const std::string_view url = c.url;
        EXPECT_EQ(a.Scheme().in(url), c.scheme) << c.url;
        EXPECT_EQ(a.Host().in(url), c.host) << c.url;
        EXPECT_EQ(a.Port().in(url), c.port) << c.url;
        EXPECT_EQ(a.Path().in(url), c.path) << c.url;
        EXPECT_EQ(a.ExtraInfo().in(url), c.extra) << c.url;
        EXPECT_EQ(a.Fragment().in(url), c.fragment) << c.url;
    }
    CHttpUrlAnalyzerT a;
    try {
        a.Analyze("h", 65001);
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_STREQ(e.ErrorMessage(),
                     "CHttpUrlAnalyzerT::Analyze: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    }
}

TEST(HttpClientMapTest, OrdersByNameIgnoringCaseAndKeepsInsertionOrderOfEqualNames)
{
    CHttpClientMapT map;
    map.Add("b", "1");
    map.Add("A", "2");
    map.Add("c", nullptr);
    map.Add("a", "3");
    map.Add("_x", "4"); // letters fold to lower case, so '_' (0x5F) sorts before them
    map.Add("B", "5", kParamFile);
    std::vector<std::string> order;
    for (const auto& [name, entry] : map)
        order.push_back(name + "=" + entry.value.value_or("(none)"));
    EXPECT_EQ(order, (std::vector<std::string>{"_x=4", "A=2", "a=3", "b=1", "B=5", "c=(none)"}));
    try {
        map.Add(nullptr, "x");
        FAIL();
    } catch (const httpclientexceptionA& e) {
        EXPECT_STREQ(e.ErrorMessage(), "CHttpClientMapT::Add: szName can not be NULL.");
    }
}
