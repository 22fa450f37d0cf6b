#pragma once
// Decodes one MPEG audio file to a WAV file, writing the console lines on `console`.
#include <cstdio>
#include <string>

// Returns the exit code (see arguments.h).
int DecodeFile(const std::string& inputPath, const std::string& outputPath, std::FILE* console);
