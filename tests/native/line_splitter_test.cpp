#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/line_splitter.h"

namespace zandrel {
namespace {

struct Text {
    std::string text;
    TOutputType type;
    bool operator==(const Text&) const = default;
};
constexpr auto E = TOutputType::otEntireLine;
constexpr auto B = TOutputType::otBeginningOfLine;

struct Reads {
    LineSplitter splitter;
    std::vector<Text> got;
    void Read(const std::string& bytes) {
        splitter.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                      [this](const std::string& t, TOutputType type) { got.push_back({t, type}); });
    }
    void End() {
        splitter.Finish([this](const std::string& t, TOutputType type) { got.push_back({t, type}); });
    }
};

TEST(LineSplitter, CrLfPairsInOneRead) {
    Reads r;
    r.Read("A\r\nB\r\n");
    EXPECT_EQ(r.got, (std::vector<Text>{{"A", E}, {"B", E}}));
    EXPECT_EQ(r.splitter.OutputReturnCode(), TReturnCode::rcCRLF);
}

TEST(LineSplitter, CrLfSplitAcrossReadsMakesNoExtraLine) {
    Reads r;
    r.Read("A\r");
    EXPECT_EQ(r.got, (std::vector<Text>{{"A", E}}));
    EXPECT_EQ(r.splitter.OutputReturnCode(), TReturnCode::rcLF);
    r.Read("\nB\r\n");
    EXPECT_EQ(r.got, (std::vector<Text>{{"A", E}, {"B", E}}));
    EXPECT_EQ(r.splitter.OutputReturnCode(), TReturnCode::rcCRLF);
}

TEST(LineSplitter, UnfinishedLastLineIsABeginningTwice) {
    Reads r;
    r.Read("A\nB");
    r.End();
    EXPECT_EQ(r.got, (std::vector<Text>{{"A", E}, {"B", B}, {"B", B}}));
}

TEST(LineSplitter, LineArrivingInTwoReads) {
    Reads r;
    r.Read("A");
    r.Read("B\r\n");
    r.End();
    EXPECT_EQ(r.got, (std::vector<Text>{{"A", B}, {"AB", E}}));
}

TEST(LineSplitter, LoneBreaksAndEmptyLines) {
    Reads r;
    r.Read("\n\r");
    EXPECT_EQ(r.got, (std::vector<Text>{{"", E}, {"", E}}));
    Reads cr;
    cr.Read("progress 10%\rprogress 50%\rdone\r\n");
    EXPECT_EQ(cr.got, (std::vector<Text>{{"progress 10%", E}, {"progress 50%", E}, {"done", E}}));
}

TEST(LineSplitter, NulBytesNeverReachAText) {
    Reads r;
    r.Read(std::string("n\0ul\r\0\nx\0", 9));
    r.End();
    EXPECT_EQ(r.got, (std::vector<Text>{{"nul", E}, {"x", B}, {"x", B}}));
    Reads only;
    only.Read(std::string("\0\0", 2));
    EXPECT_TRUE(only.got.empty());
}

TEST(LineSplitter, AHundredKilobyteLineSurvivesWhole) {
    Reads r;
    const std::string big(100 * 1024, 'x');
    r.Read(big.substr(0, 4096));
    r.Read(big.substr(4096) + "\r\n");
    ASSERT_EQ(r.got.size(), 2u);
    EXPECT_EQ(r.got[1], (Text{big, E}));
}

TEST(LineSplitter, StopEndsTheExaminationEarly) {
    LineSplitter s;
    std::vector<Text> got;
    int calls = 0;
    const std::string bytes = "A\nB\nC\n";
    s.Feed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
           [&](const std::string& t, TOutputType type) { got.push_back({t, type}); },
           [&] { return ++calls > 2; });
    EXPECT_EQ(got, (std::vector<Text>{{"A", E}}));
}

TEST(LineSplitter, EchoedInputContinuesOrStartsALine) {
    LineSplitter s;
    std::vector<Text> got;
    auto keep = [&](const std::string& t, TOutputType type) { got.push_back({t, type}); };
    const std::string prompt = "Name? ";
    s.Feed({reinterpret_cast<const std::uint8_t*>(prompt.data()), prompt.size()}, keep);
    s.EchoInput("Zan", true, keep);
    s.EchoInput("drel\r\n", true, keep);
    s.EchoInput("next\n", false, keep);
    EXPECT_EQ(got, (std::vector<Text>{{"Name? ", B}, {"Name? Zan", B}, {"Name? Zandrel\r\n", E}, {"next\n", E}}));
    EXPECT_EQ(s.PendingLine(), "");
}

}  // namespace
}  // namespace zandrel
