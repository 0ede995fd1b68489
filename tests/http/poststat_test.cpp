#include "http/errors.h"
#include "http/poststat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace Velto;

namespace {
std::string failure(const std::function<void()>& call, int* code = nullptr)
{
    try {
        call();
    } catch (const httpclientexceptionA& e) {
        if (code)
            *code = e.ErrorCode();
        return e.ErrorMessage();
    }
    return "(nothing thrown)";
}
} // namespace

TEST(HttpPostStatTest, InactiveInstanceRefusesEveryAccessor)
{
    const CHttpPostStatT stat;
    const struct {
        const char* name;
        std::function<void()> call;
    } accessors[] = {
        {"ActualTotalByte", [&] { stat.ActualTotalByte(); }},
        {"ActualPostedByte", [&] { stat.ActualPostedByte(); }},
        {"TotalCount", [&] { stat.TotalCount(); }},
        {"PostedCount", [&] { stat.PostedCount(); }},
        {"FileCount", [&] { stat.FileCount(); }},
        {"PostedFileCount", [&] { stat.PostedFileCount(); }},
        {"CurrParamIsFile", [&] { stat.CurrParamIsFile(); }},
        {"CurrParamTotalByte", [&] { stat.CurrParamTotalByte(); }},
        {"CurrParamPostedByte", [&] { stat.CurrParamPostedByte(); }},
        {"CurrParamRemainByte", [&] { stat.CurrParamRemainByte(); }},
        {"CurrParamIsComplete", [&] { stat.CurrParamIsComplete(); }},
    };
    for (const auto& a : accessors) {
        int code = -1;
        EXPECT_EQ(failure(a.call, &code), std::string("CHttpPostStatT::") + a.name + ": The post context is not active.");
        EXPECT_EQ(code, 0);
    }
    CHttpPostStatT mutableStat;
    EXPECT_EQ(failure([&] { mutableStat._AddPostedBytes(1); }),
              "CHttpPostStatT::_TestAddPostedBytes: The post context is not active.");
    EXPECT_EQ(failure([&] { mutableStat._AddActualPostedBytes(1); }),
              "CHttpPostStatT::_TestAddActualPostedBytes: The post context is not active.");
    EXPECT_EQ(failure([&] { mutableStat._StartNewEntry("a", 0, false, nullptr); }),
              "CHttpPostStatT::_TestStartNewEntry: The post context is not active.");
}

TEST(HttpPostStatTest, CountersMoveAsWritesAreMadeAndCopiesAreIndependent)
{
    CHttpPostStatT stat;
    stat._BeginContext(500, 300, 2, 1);
    const std::string path = "/tmp/x.jpg";
    stat._StartNewEntry("media", 300, true, &path);
    stat._AddActualPostedBytes(100); // a part head
    stat._AddPostedBytes(120);
    EXPECT_EQ(stat.ActualPostedByte(), 220u);
    EXPECT_EQ(stat.CurrParamPostedByte(), 120u);
    EXPECT_EQ(stat.CurrParamRemainByte(), 180u);
    EXPECT_FALSE(stat.CurrParamIsComplete());
    EXPECT_TRUE(stat.CurrParamIsFile());
    EXPECT_EQ(stat.PostedFileCount(), 1u);

    const CHttpPostStatT snapshot = stat;
    stat._StartNewEntry("name", 0, false, nullptr);
    EXPECT_FALSE(stat.CurrParamIsFile());
    EXPECT_TRUE(stat.CurrParamIsComplete());
    EXPECT_EQ(stat.PostedCount(), 2u);
    EXPECT_TRUE(snapshot.CurrParamIsFile());
    EXPECT_EQ(snapshot.PostedCount(), 1u);
    EXPECT_EQ(snapshot._CurrentName(), "media");

    stat._EndContext();
    EXPECT_FALSE(stat.IsActive());
    EXPECT_TRUE(snapshot.IsActive());
}

TEST(HttpPostStatTest, OverflowFailsBeforeTheCounterMoves)
{
    CHttpPostStatT stat;
    stat._BeginContext(0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0);
    stat._StartNewEntry("a", 0xFFFFFFFFu, false, nullptr);
    stat._AddPostedBytes(0xFFFFFFF0u);
    int code = 0;
    failure([&] { stat._AddPostedBytes(0x20); }, &code);
    EXPECT_EQ(code, 112);
    EXPECT_EQ(stat.ActualPostedByte(), 0xFFFFFFF0u);
    EXPECT_EQ(stat.CurrParamPostedByte(), 0xFFFFFFF0u);
    code = 0;
    failure([&] { stat._AddActualPostedBytes(0x10); }, &code);
    EXPECT_EQ(code, 112);
    EXPECT_EQ(stat.ActualPostedByte(), 0xFFFFFFF0u);
}
