#include "engine/namecheck.h"

#include "settings/paths.h"

#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#endif

namespace {

#ifndef _WIN32
// The nearest folder at or above `folder` that exists: an output folder made only when its first
// file starts lies on the drive of the folder above it.
std::string ExistingFolder(std::string folder) {
    struct stat st {};
    while (!folder.empty() && ::stat(folder.c_str(), &st) != 0) {
        const size_t slash = folder.find_last_of('/', folder.size() >= 2 ? folder.size() - 2 : 0);
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    }
    return folder.empty() ? "." : folder;
}

// The type of the file system holding `folder`, as the kernel's mount table names it ("vfat",
// "fuse.fusefat"); for a FUSE drive on a block device, whose type says nothing, the device's own
// name for its format where it can be read ("fuseblk.exfat").
std::string FileSystemType(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    const std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, field;
        if (!(fields >> id >> parent >> numbers) || numbers != device) continue;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        if (type != "fuseblk") return type;
        char boot[11] = {};
        std::ifstream(source, std::ios::binary).read(boot, sizeof boot);
        return std::string(boot + 3, 8) == "EXFAT   " ? "fuseblk.exfat" : type;
    }
    return {};
}
#endif

bool RefusesFatCharacters(const std::string& type) {
    for (const char* fat : {"vfat", "msdos", "exfat", "fuse.fusefat", "fuse.exfat", "fuseblk.exfat"})
        if (type == fat) return true;
    return false;
}

} // namespace

TNameRules NameRulesOf(const std::string& outputFolder) {
    TNameRules rules;
#ifndef _WIN32
    const std::string folder = ExistingFolder(outputFolder);
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) == 0) rules.MaxBytes = fs.f_namemax;
    if (std::string type = FileSystemType(folder); RefusesFatCharacters(type))
        rules.FatType = std::move(type);
#else
    (void)outputFolder; // the system's own check, made when the file is created, says it
#endif
    return rules;
}

std::string NameProblem(const std::string& name, const TNameRules& rules) {
    if (rules.MaxBytes > 0 && name.size() > rules.MaxBytes)
        return "the output file's name is " + std::to_string(name.size()) + " bytes long; its drive allows " +
               std::to_string(rules.MaxBytes);
    if (rules.FatType.empty()) return {};
    const std::string& type = rules.FatType;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\"*:<>?\\|").find(c) != std::string::npos) {
            // Built by appending: GCC 12 at -O3 warns falsely on a literal plus a one-character string.
            std::string shown = "a control character";
            if (static_cast<unsigned char>(c) >= 0x20) shown.assign(1, '"').append(1, c).append(1, '"');
            return "the output file's name holds " + shown + ", which its drive (" + type + ") cannot hold";
        }
    return {};
}
