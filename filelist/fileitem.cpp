#include "filelist/fileitem.h"

#include "settings/paths.h"

#include <QLocale>

void SplitFullPath(const std::string& fullPath, std::string& path, std::string& fileName) {
    path = ExtractFilePath(fullPath);
    fileName = ExtractFileName(fullPath);
}

namespace {

// Two decimals with the locale's thousands and decimal separators, then the unit letter.
std::string FormatUnits(double quotient, char unit) {
    return QLocale().toString(quotient, 'f', 2).toStdString() + unit;
}

} // namespace

std::string FormatSizeText(int64_t size) {
    // Units of 1000; each step is taken only when the quotient is strictly greater than 1.
    const double bytes = static_cast<double>(size);
    if (bytes / 1e9 > 1) return FormatUnits(bytes / 1e9, 'G');
    if (bytes / 1e6 > 1) return FormatUnits(bytes / 1e6, 'M');
    if (bytes / 1e3 > 1) return FormatUnits(bytes / 1e3, 'K');
    return std::to_string(size);
}
