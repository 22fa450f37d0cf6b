#pragma once
// One entry of the file list.
#include "settings/datetime.h"

#include <cstdint>
#include <string>

struct TFileItem {
    std::string FileName; // name with extension, no folder
    std::string Path;     // folder with trailing separator; Path + FileName is the full path
    int64_t Size = -1;    // bytes, -1 when the file cannot be listed
    TDateTime Date = 0;   // last modification, local time

    std::string FullPath() const { return Path + FileName; }
};

// Splits a full path into folder (with trailing separator) and name.
void SplitFullPath(const std::string& fullPath, std::string& path, std::string& fileName);
// "1.00K", "1,000.00M", "2.15G" or plain bytes, with the locale's separators.
std::string FormatSizeText(int64_t size);
