// Splitting a command line by the Windows rules, and quoting that survives the split.
#include "engine/commandline.h"

#include <gtest/gtest.h>

using TArgs = std::vector<std::string>;

TEST(RedirectorCommandLine, SplitsByTheWindowsRules) {
    EXPECT_EQ(SplitCommandLine(""), TArgs{});
    EXPECT_EQ(SplitCommandLine(" \t "), TArgs{});
    EXPECT_EQ(SplitCommandLine("a  b\tc "), (TArgs{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"a b\" c"), (TArgs{"a b", "c"}));
    EXPECT_EQ(SplitCommandLine("x\"a b\"y"), (TArgs{"xa by"})); // a quoted stretch inside an argument
    EXPECT_EQ(SplitCommandLine("\"\" a"), (TArgs{"", "a"}));    // empty argument
    EXPECT_EQ(SplitCommandLine("a\\b c\\\\d"), (TArgs{"a\\b", "c\\\\d"})); // backslashes alone are literal
    EXPECT_EQ(SplitCommandLine("a\\\"b"), (TArgs{"a\"b"}));                // 2n+1 backslashes: literal quote
    EXPECT_EQ(SplitCommandLine("a\\\\\"b c\""), (TArgs{"a\\b c"})); // 2n backslashes: n, and a delimiter
    EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), (TArgs{"a\\\"b"}));
    EXPECT_EQ(SplitCommandLine("\"a\"\"b\" c"), (TArgs{"a\"b", "c"})); // doubled quote inside quotes
    EXPECT_EQ(SplitCommandLine("\"unterminated  x"), (TArgs{"unterminated  x"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\\\" next"), (TArgs{"C:\\dir\\", "next"}));
}

TEST(RedirectorCommandLine, QuotedArgumentsSurviveTheSplit) {
    const TArgs arguments = {"plain",
                             "",
                             " ",
                             "with blank",
                             "\"",
                             "\"\"",
                             "a\"b",
                             "\\",
                             "\\\\",
                             "end\\",
                             "\\\"",
                             "mid\\\\\"x\\",
                             "-dash",
                             "tab\tx",
                             "new\nline",
                             "\xc3\xa9\xff\x80",
                             "/home/user/My Music/\"Best\" of\\ 1999.mp3"};
    for (const auto& argument : arguments) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(argument)), TArgs{argument}) << argument;
        EXPECT_EQ(SplitCommandLine("prog " + QuoteArgument(argument) + " next"),
                  (TArgs{"prog", argument, "next"}));
    }
    EXPECT_EQ(SplitCommandLine(JoinCommandLine(arguments)), arguments);
    EXPECT_EQ(QuoteArgument("a b"), "\"a b\"");
    EXPECT_EQ(QuoteArgument("end\\"), "\"end\\\\\"");
}

TEST(RedirectorCommandLine, BlankMeansOnlyBlanksAndControlCharacters) {
    EXPECT_TRUE(IsBlankCommandLine(""));
    EXPECT_TRUE(IsBlankCommandLine(" \t\r\n\x01\x1f"));
    EXPECT_FALSE(IsBlankCommandLine(" x "));
    EXPECT_FALSE(IsBlankCommandLine("\xa0")); // a byte above ASCII is text
}
