#pragma once
// Replaces a whole file in one step: the bytes go to a temporary file in the same folder, are
// flushed to disk, and the temporary file is renamed over the target. A failure at any point
// leaves the old file as it was and no temporary file behind.
#include <string>

// Returns false on failure. An existing file keeps its permissions (and, where allowed, its
// owner); a symbolic link is followed, so the link stays and its target is replaced. A file that
// exists but may not be written is refused, as an in-place write would be.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// Removes what an interrupted replacement of this file left: the temporary files beside it that
// were written but never renamed. Meant for start-up, before anything writes the file again.
void RemoveLeftTemporaries(const std::string& path);

#ifndef _WIN32
// Writes all the bytes to an open file descriptor, going on after interruptions; false on failure.
bool WriteAllBytes(int fd, const std::string& bytes);
#endif
