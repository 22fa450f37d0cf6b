#pragma once
// Reading the decoder's console text: cutting pieces of a stream into lines, recognising the
// lines the batch cares about, and turning progress-line frame counts into percentages.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// A line that grows past this without a line end is handed on as it is, so a decoder that never
// ends a line cannot make the carried text grow without bound.
inline constexpr size_t MaxCarriedLine = 64 * 1024;

// Cuts one piece of a stream into lines. A line ends at CR, LF or CR LF; a zero byte cuts the rest
// of the piece off. The unfinished end of the piece is kept in pending (one per stream) and
// completed by that stream's next piece, so a line that arrives in two pieces is read as one.
// onLine(std::string_view) gets each line in order, without its line end; it must not touch pending.
template <typename OnLine>
void CutLines(std::string& pending, const char* buffer, size_t size, OnLine&& onLine) {
    const void* zero = std::memchr(buffer, 0, size);
    const char* end = zero ? static_cast<const char*>(zero) : buffer + size;
    const char* p = buffer;
    while (p < end) {
        const char* e = p;
        while (e < end && *e != '\r' && *e != '\n')
            ++e;
        if (e == end) {
            pending.append(p, end);
            if (pending.size() >= MaxCarriedLine) {
                onLine(std::string_view(pending));
                pending.clear();
            }
            return;
        }
        if (pending.empty()) {
            onLine(std::string_view(p, static_cast<size_t>(e - p)));
        } else {
            // Completed in place: the carried text keeps its buffer for the next line.
            pending.append(p, e);
            onLine(std::string_view(pending));
            pending.clear();
        }
        p = e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
    }
}

// Hands on the stream's unfinished last line, if any (the stream has ended).
template <typename OnLine> void FlushLines(std::string& pending, OnLine&& onLine) {
    if (pending.empty()) return;
    onLine(std::string_view(pending));
    pending.clear();
}

// True when the line holds nothing but blanks and control characters.
bool IsBlankLine(std::string_view line);
bool IsBitstreamProblem(std::string_view line); // "bitstream problem:"
bool IsProgressHeader(std::string_view line);   // "Frame# "
bool IsOutputLine(std::string_view line);       // "output: "
bool IsInputLine(std::string_view line);        // "input: "

// A decimal integer, trimmed of blanks and control characters; 0 when the text is not one.
int32_t ReadIntegerOrZero(std::string_view text);

struct TFrameCounts {
    int32_t Current = 0;
    int32_t Total = 0;
};

// Reads a progress line's frame counts. With a "[": current from position 7 up to the "[", total
// between "[" and the first "]". Otherwise current from position 7 up to the first "/", total in
// the 7 characters after it. Unreadable counts are 0.
TFrameCounts ReadProgressLine(std::string_view line);

// Rounds to the nearest integer, halves to the even neighbour.
int32_t RoundHalfEven(double value);

// The file's percentage for the counts: false (keep the old one) unless 0 < p <= 100.
// current * 100 is formed in 32 bits, as the decoder's counts are.
bool FilePercentOf(int32_t current, int32_t total, int32_t& percent);

// The batch's percentage from its bytes; from the file counts when the batch has no bytes at all.
int32_t BatchPercentOf(int64_t bytesDone, int64_t bytesTotal, int32_t filesEnded, int32_t filesTotal);

// The gauge's position for a percentage.
int32_t GaugePosition(int32_t percent, int32_t maxValue);

// Remaining time of the batch in days, assuming a steady rate; only meaningful for bytesDone > 0.
double RemainingDays(double elapsedDays, int64_t bytesTotal, int64_t bytesDone);
