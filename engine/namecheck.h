#pragma once
// Output names that the output folder's drive cannot hold, found before any file is decoded rather
// than after a whole decode: names longer than the folder's file system allows, and, on drives of
// the FAT family (FAT32, exFAT: sticks and cards, also through FUSE), the characters they refuse.
#include <string>

// What the drive of a folder (or of the nearest folder above it that exists) allows in a name.
struct TNameRules {
    unsigned long MaxBytes = 0; // 0: not known
    std::string FatType;        // the file system's type where it refuses FAT's characters, else ""
};
TNameRules NameRulesOf(const std::string& folder);

// Why a drive with `rules` cannot hold the file name `name`; empty where it can, or where that
// cannot be told without writing.
std::string NameProblem(const std::string& name, const TNameRules& rules);
