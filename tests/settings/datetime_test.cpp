#include "settings/datetime.h"

#include <QDateTime>

#include <cmath>
#include <gtest/gtest.h>

TEST(DateTime, CountsLocalDaysSinceTheEpochOfTheFormat) {
    const QDateTime noon(QDate(2000, 1, 1), QTime(12, 0));
    EXPECT_DOUBLE_EQ(UnixTimeToDateTime(noon.toSecsSinceEpoch()), 36526.5);
    const double now = Now();
    EXPECT_NEAR(now, UnixTimeToDateTime(QDateTime::currentSecsSinceEpoch()), 2.0 / 86400);
}

namespace {
// The locale chooses the separator (':' in most, '.' in some): compare with ':' in its place.
std::string WithColons(const std::string& text) {
    std::string shape;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            shape += c;
        else if (shape.empty() || shape.back() != ':')
            shape += ':';
    }
    return shape;
}
} // namespace

TEST(DateTime, ElapsedDropsWholeDaysAndPadsMinutesAndSeconds) {
    EXPECT_EQ(WithColons(FormatElapsed(2 + (3600 + 2 * 60 + 3) / 86400.0)), "1:02:03");
    EXPECT_EQ(WithColons(FormatElapsed(0)), "0:00:00");
    EXPECT_EQ(WithColons(FormatElapsed((23 * 3600 + 59 * 60 + 59.4) / 86400.0)), "23:59:59");
}

TEST(DateTime, ShortDateTimeReadsBack) {
    const double value = 45000 + (14 * 3600 + 35 * 60) / 86400.0; // 15 March 2023, 14:35
    const std::string text = FormatShortDateTime(value);
    EXPECT_FALSE(text.empty());
    EXPECT_NEAR(ParseShortDateTime(text), value, 1e-6) << text;
    EXPECT_EQ(ParseShortDateTime("not a date"), 0);
}
