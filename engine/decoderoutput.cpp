#include "engine/decoderoutput.h"

#include "settings/paths.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() && line.compare(0, prefix.size(), prefix) == 0;
}

// Characters from 1-based position `from` up to and not including 1-based position `to`.
std::string_view Between(std::string_view line, size_t from, size_t to) {
    if (to <= from || from - 1 >= line.size()) return {};
    return line.substr(from - 1, to - from);
}

} // namespace

bool IsBlankLine(std::string_view line) {
    return TrimView(line).empty();
}
bool IsBitstreamProblem(std::string_view line) {
    return StartsWith(line, "bitstream problem:");
}
bool IsProgressHeader(std::string_view line) {
    return StartsWith(line, "Frame# ");
}
bool IsOutputLine(std::string_view line) {
    return StartsWith(line, "output: ");
}
bool IsInputLine(std::string_view line) {
    return StartsWith(line, "input: ");
}

int32_t ReadIntegerOrZero(std::string_view text) {
    text = TrimView(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return 0;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return 0;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) return 0;
    return static_cast<int32_t>(value);
}

TFrameCounts ReadProgressLine(std::string_view line) {
    TFrameCounts counts;
    const size_t bracket = line.find('[');
    if (bracket != std::string_view::npos) {
        const size_t b = bracket + 1; // 1-based
        const size_t close = line.find(']');
        counts.Current = ReadIntegerOrZero(Between(line, 7, b));
        if (close != std::string_view::npos)
            counts.Total = ReadIntegerOrZero(Between(line, b + 1, close + 1));
        return counts;
    }
    const size_t slash = line.find('/');
    if (slash == std::string_view::npos) return counts;
    const size_t s = slash + 1; // 1-based
    counts.Current = ReadIntegerOrZero(Between(line, 7, s));
    counts.Total = ReadIntegerOrZero(Between(line, s + 1, s + 8));
    return counts;
}

int32_t RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1.0;
    return static_cast<int32_t>(result);
}

bool FilePercentOf(int32_t current, int32_t total, int32_t& percent) {
    if (total <= 0) return false;
    // Wraps like the 32-bit product it stands for instead of overflowing.
    const auto scaled = static_cast<int32_t>(static_cast<uint32_t>(current) * 100u);
    const double p = static_cast<double>(scaled) / total;
    if (!(p > 0.0 && p <= 100.0)) return false;
    percent = RoundHalfEven(p);
    return true;
}

int32_t BatchPercentOf(int64_t bytesDone, int64_t bytesTotal, int32_t filesEnded, int32_t filesTotal) {
    // Entries removed during the batch can leave more done than is still counted: never past 100.
    int64_t percent = 0;
    if (bytesTotal > 0)
        percent = 100 * bytesDone / bytesTotal;
    else if (filesTotal > 0)
        percent = int64_t{100} * filesEnded / filesTotal;
    return static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100));
}

int32_t GaugePosition(int32_t percent, int32_t maxValue) {
    return RoundHalfEven(static_cast<double>(percent) * maxValue / 100.0);
}

double RemainingDays(double elapsedDays, int64_t bytesTotal, int64_t bytesDone) {
    const double remaining =
        static_cast<double>(bytesTotal) * elapsedDays / static_cast<double>(bytesDone) - elapsedDays;
    return std::max(remaining, 0.0);
}
