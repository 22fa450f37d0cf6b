#include "settings/errors.h"

#include <cerrno>

std::string EInOutError::TextForCode(int code) {
    switch (code) {
    case 2:
        return "File not found";
    case 3:
        return "Invalid filename";
    case 4:
        return "Too many open files";
    case 5:
        return "File access denied";
    case 100:
        return "Read beyond end of file";
    case 101:
        return "Disk full";
    case 106:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

EInOutError::EInOutError(int code, int systemError)
    : EWavesmithError(TextForCode(code)), Code(code), Errno(systemError) {}

int InOutCodeFromErrno(int err) {
    switch (err) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case ENOSPC:
        return 101;
    default:
        return err;
    }
}

EFCreateError::EFCreateError(const std::string& path) : EWavesmithError("Cannot create file " + path) {}

EIniWriteError::EIniWriteError(const std::string& path) : EWavesmithError("Unable to write to " + path) {}
