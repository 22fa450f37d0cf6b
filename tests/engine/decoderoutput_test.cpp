// Cutting decoder output into lines and reading its progress lines.
#include "engine/decoderoutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TCutter {
    std::string Pending;
    std::vector<std::string> Lines;
    void Feed(const std::string& piece) {
        CutLines(Pending, piece.data(), piece.size(), [this](std::string_view l) { Lines.emplace_back(l); });
    }
    void Flush() {
        FlushLines(Pending, [this](std::string_view l) { Lines.emplace_back(l); });
    }
};

using TLines = std::vector<std::string>;

} // namespace

TEST(DecoderLines, EndsAtCrLfAndCrLfPairs) {
    TCutter c;
    c.Feed("a\r\nb\nc\rd\r\re\n");
    EXPECT_EQ(c.Lines, (TLines{"a", "b", "c", "d", "", "e"}));
    EXPECT_TRUE(c.Pending.empty());
}

TEST(DecoderLines, ProgressRewritesWithBareCrGiveOneLineEach) {
    TCutter c;
    c.Feed("\rFrame#     1/100    128 kbps\rFrame#     2/100    128 kbps\rFrame#     3/100    128 kbps\r");
    EXPECT_EQ(c.Lines, (TLines{"", "Frame#     1/100    128 kbps", "Frame#     2/100    128 kbps",
                               "Frame#     3/100    128 kbps"}));
}

TEST(DecoderLines, LineSplitAcrossPiecesIsReadAsOne) {
    TCutter c;
    c.Feed("input:  a.mp3\nbitstream pro");
    EXPECT_EQ(c.Lines, (TLines{"input:  a.mp3"}));
    c.Feed("blem: bad frame");
    c.Feed("\nnext");
    EXPECT_EQ(c.Lines, (TLines{"input:  a.mp3", "bitstream problem: bad frame"}));
    c.Flush();
    EXPECT_EQ(c.Lines.back(), "next");
    EXPECT_TRUE(c.Pending.empty());
    c.Flush(); // nothing left: nothing more
    EXPECT_EQ(c.Lines.size(), 3u);
}

TEST(DecoderLines, ZeroByteCutsTheRestOfThePiece) {
    TCutter c;
    c.Feed(std::string("one\ntw\0o\nthree\n", 15));
    EXPECT_EQ(c.Lines, (TLines{"one"}));
    c.Feed("o\n");
    EXPECT_EQ(c.Lines, (TLines{"one", "two"}));
}

TEST(DecoderLines, EndlessLineIsHandedOnAtTheBound) {
    TCutter c;
    const std::string chunk(4096, 'x');
    for (size_t fed = 0; fed < MaxCarriedLine; fed += chunk.size())
        c.Feed(chunk);
    ASSERT_EQ(c.Lines.size(), 1u);
    EXPECT_EQ(c.Lines[0].size(), MaxCarriedLine);
    EXPECT_TRUE(c.Pending.empty());
}

TEST(DecoderLines, RecognisesLineKinds) {
    EXPECT_TRUE(IsBitstreamProblem("bitstream problem: x"));
    EXPECT_FALSE(IsBitstreamProblem(" bitstream problem: x"));
    EXPECT_FALSE(IsBitstreamProblem("Bitstream problem: x"));
    EXPECT_TRUE(IsProgressHeader("Frame# 1/2"));
    EXPECT_FALSE(IsProgressHeader("Frame#1/2"));
    EXPECT_TRUE(IsInputLine("input:  /a.mp3"));
    EXPECT_TRUE(IsOutputLine("output: /a.wav"));
    EXPECT_FALSE(IsOutputLine("output:/a.wav"));
    EXPECT_TRUE(IsBlankLine(" \t\x01 "));
    EXPECT_FALSE(IsBlankLine(" a "));
}

TEST(DecoderProgress, BothFormsGiveTheSameCounts) {
    const TFrameCounts slash = ReadProgressLine("Frame#   250/1000   128 kbps");
    const TFrameCounts bracket = ReadProgressLine("Frame#   250 [1000] 128 kbps");
    EXPECT_EQ(slash.Current, 250);
    EXPECT_EQ(slash.Total, 1000);
    EXPECT_EQ(bracket.Current, 250);
    EXPECT_EQ(bracket.Total, 1000);
}

TEST(DecoderProgress, UnreadableCountsAreZero) {
    // Text within the 7 characters after "/" spoils the total.
    EXPECT_EQ(ReadProgressLine("Frame#   250/1000 128 kbps").Total, 0);
    EXPECT_EQ(ReadProgressLine("Frame#   250/1000 128 kbps").Current, 250);
    // Seven digits fill the window exactly.
    EXPECT_EQ(ReadProgressLine("Frame#   250/1234567 128 kbps").Total, 1234567);
    EXPECT_EQ(ReadProgressLine("Frame#   250/12").Total, 12);
    EXPECT_EQ(ReadProgressLine("Frame#   x50/100    ").Current, 0);
    const TFrameCounts none = ReadProgressLine("Frame#   250 of 1000");
    EXPECT_EQ(none.Current, 0);
    EXPECT_EQ(none.Total, 0);
    EXPECT_EQ(ReadProgressLine("Frame#   250 [1000").Total, 0); // no closing bracket
    EXPECT_EQ(ReadProgressLine("ab/100").Current, 0);           // "/" before position 7
    EXPECT_EQ(ReadIntegerOrZero(" -12 "), -12);
    EXPECT_EQ(ReadIntegerOrZero("2147483647"), 2147483647);
    EXPECT_EQ(ReadIntegerOrZero("2147483648"), 0);
    EXPECT_EQ(ReadIntegerOrZero("1 2"), 0);
    EXPECT_EQ(ReadIntegerOrZero("-"), 0);
}

TEST(DecoderProgress, FilePercentKeepsOldValueOutsideRange) {
    int32_t percent = 42;
    EXPECT_FALSE(FilePercentOf(0, 100, percent));
    EXPECT_FALSE(FilePercentOf(5, 0, percent));
    EXPECT_FALSE(FilePercentOf(101, 100, percent));
    EXPECT_EQ(percent, 42);
    EXPECT_TRUE(FilePercentOf(100, 100, percent));
    EXPECT_EQ(percent, 100);
    EXPECT_TRUE(FilePercentOf(1, 8, percent)); // 12.5 rounds to the even 12
    EXPECT_EQ(percent, 12);
    EXPECT_TRUE(FilePercentOf(3, 8, percent)); // 37.5 rounds to 38
    EXPECT_EQ(percent, 38);
    // current * 100 wraps in 32 bits: 21474837 * 100 is negative, so the value is kept.
    EXPECT_FALSE(FilePercentOf(21474837, 21474840, percent));
    EXPECT_EQ(percent, 38);
}

TEST(DecoderProgress, BatchPercentGaugeAndRemaining) {
    EXPECT_EQ(BatchPercentOf(999, 1000, 0, 1), 99);
    EXPECT_EQ(BatchPercentOf(3'000'000'000LL, 6'000'000'000LL, 0, 2), 50);
    // A batch of empty files goes by its file counts.
    EXPECT_EQ(BatchPercentOf(0, 0, 1, 4), 25);
    EXPECT_EQ(BatchPercentOf(0, 0, 0, 0), 0);
    // Entries removed during the batch can leave more done than is still counted.
    EXPECT_EQ(BatchPercentOf(1500, 1000, 0, 1), 100);
    EXPECT_EQ(BatchPercentOf(0, 0, 3, 2), 100);
    EXPECT_EQ(GaugePosition(37, 1000), 370);
    EXPECT_DOUBLE_EQ(RemainingDays(0.5, 400, 100), 1.5);
    EXPECT_DOUBLE_EQ(RemainingDays(0.5, 100, 400), 0.0);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(3.49), 3);
}
