#include "engine/runlog.h"

#include "settings/errors.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QFile>
#include <QSaveFile>

#include <string>
#include <vector>

namespace {

QString NativeName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

void WriteRunLog() {
    const std::string path = LogFilePath();
    std::string text;
    for (const std::string& line : GlobalVars.RunLog) {
        text += line;
        text += "\r\n";
    }
    // Written beside the target and renamed over it, so a crash never leaves half a log.
    QSaveFile file(NativeName(path));
    if (!file.open(QIODevice::WriteOnly)) throw EFCreateError(path);
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit())
        throw EFCreateError(path);
}

void ReadRunLog() {
    GlobalVars.RunLog.clear();
    QFile file(NativeName(LogFilePath()));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return;
    std::vector<std::string> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool last = end < 0;
        if (last) end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        lines.emplace_back(bytes.constData() + start, static_cast<size_t>(stop - start));
        start = end + 1;
    }
    GlobalVars.RunLog = std::move(lines);
}
