#pragma once
// Date-times are days since 30 December 1899 as doubles, in local time.
#include <string>

using TDateTime = double;

TDateTime Now();
TDateTime UnixTimeToDateTime(long long secondsSinceEpoch); // local time
// "h:nn:ss": hours of the day without leading zero, locale time separator; whole days are dropped.
std::string FormatElapsed(TDateTime value);
// The locale's short date, a blank, the locale's short time ("ddddd t").
std::string FormatShortDateTime(TDateTime value);
// Reads text made by FormatShortDateTime back; 0 when it cannot be read.
TDateTime ParseShortDateTime(const std::string& text);
