#pragma once
// The one family of errors: every failure carries the message the user may see.
#include <stdexcept>
#include <string>

class EWavesmithError : public std::runtime_error {
public:
    explicit EWavesmithError(const std::string& message) : std::runtime_error(message) {}
};

// Thrown to leave an operation quietly; the error report drops it.
class EAbort : public EWavesmithError {
public:
    EAbort() : EWavesmithError("Operation aborted") {}
};

// A basic file operation failed; the text is chosen by the code
// (2 "File not found", 3 "Invalid filename", ..., otherwise "I/O error %d").
class EInOutError : public EWavesmithError {
public:
    explicit EInOutError(int code, int systemError = 0);
    int ErrorCode() const { return Code; }
    int SystemError() const { return Errno; } // the errno behind it, 0 where not known
    static std::string TextForCode(int code);

private:
    int Code;
    int Errno;
};

// Maps an errno value onto the codes above (ENOENT -> 2, EACCES -> 5, ...).
int InOutCodeFromErrno(int err);

// A whole file could not be created: "Cannot create file %s".
class EFCreateError : public EWavesmithError {
public:
    explicit EFCreateError(const std::string& path);
};

// A write to the settings file failed: "Unable to write to %s".
class EIniWriteError : public EWavesmithError {
public:
    explicit EIniWriteError(const std::string& path);
};
