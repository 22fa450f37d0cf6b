#pragma once
// One command line text that means the same argument list on every platform: the text is split by
// the Windows rules (blanks separate, quotes group, backslashes escape only before a quote), and
// QuoteArgument builds a piece that the split gives back byte for byte.
#include <string>
#include <vector>

// Splits a command line into arguments. Blanks are spaces and tabs. Inside an argument:
//   2n backslashes + quote   -> n backslashes, and the quote starts or ends a quoted stretch;
//   2n+1 backslashes + quote -> n backslashes and a literal quote;
//   backslashes not followed by a quote are literal;
//   two quotes inside a quoted stretch -> a literal quote, the stretch goes on.
// A quoted empty stretch ("") is an empty argument.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Wraps an argument in quotes, escaping quotes and the backslashes that precede them, so that
// SplitCommandLine returns it unchanged: blanks, quotes, a leading dash and any non-ASCII bytes
// stay intact. (A leading dash still reads as an option to the program: pass absolute paths.)
std::string QuoteArgument(const std::string& argument);

// The arguments quoted one by one and joined by single blanks.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// True when the text holds nothing but blanks and control characters.
bool IsBlankCommandLine(const std::string& line);
