#include "tests/decoder/decoderprocess.h"

#include "tests/support/tempdir.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <cstring>

#ifndef _WIN32
#include <sys/resource.h>
#endif

std::vector<std::string> TDecoderRun::ErrLines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = Err.find('\n', start)) != std::string::npos; start = at + 1)
        lines.push_back(Err.substr(start, at - start));
    if (start < Err.size()) lines.push_back(Err.substr(start));
    return lines;
}

TDecoderRun RunDecoder(const std::vector<std::string>& args, long fileSizeLimit,
                       const std::vector<std::string>& environment) {
    QStringList arguments;
    for (const auto& a : args)
        arguments << QFile::decodeName(QByteArray::fromStdString(a));
    QProcess process;
    QStringList variables = QProcess::systemEnvironment();
    for (const auto& setting : environment)
        variables << QString::fromStdString(setting);
    process.setEnvironment(variables);
#ifndef _WIN32
    if (fileSizeLimit > 0)
        process.setChildProcessModifier([fileSizeLimit] {
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
#endif
    process.start(QString::fromStdString(BinaryPath("utils.exe")), arguments);
    TDecoderRun run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        run.Err = "decoder did not finish";
        return run;
    }
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = process.readAllStandardOutput().toStdString();
    run.Err = process.readAllStandardError().toStdString();
    return run;
}

namespace {
std::uint32_t Le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}
std::uint16_t Le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}
} // namespace

TWavInfo ReadWav(const std::string& b) {
    TWavInfo info;
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) {
        info.Problem = "not a RIFF/WAVE file";
        return info;
    }
    if (Le32(b, 4) != b.size() - 8) {
        info.Problem =
            "RIFF size " + std::to_string(Le32(b, 4)) + " for a file of " + std::to_string(b.size());
        return info;
    }
    std::uint64_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string id = b.substr(at, 4);
        const std::uint32_t size = Le32(b, at + 4);
        if (id == "fmt " && at + 24 <= b.size()) {
            info.FormatTag = Le16(b, at + 8);
            if (info.FormatTag != 1 && info.FormatTag != 3 && info.FormatTag != 0xFFFE)
                info.Problem = "not PCM";
            // The extensible chunk: 22 more bytes, the valid bits first, and the PCM subformat.
            if (info.FormatTag == 0xFFFE &&
                (size != 40 || Le16(b, at + 24) != 22 || Le16(b, at + 26) != Le16(b, at + 22) ||
                 b.compare(at + 32, 16, std::string("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16)) !=
                     0))
                info.Problem = "extensible format chunk not of PCM";
            if (info.FormatTag == 0xFFFE) info.ChannelMask = Le32(b, at + 28);
            info.Channels = Le16(b, at + 10);
            info.SampleRate = Le32(b, at + 12);
            info.Bits = Le16(b, at + 22);
        } else if (id == "fact" && !info.DataOffset) {
            info.FactFrames = Le32(b, at + 8);
        } else if (id == "data") {
            info.DataBytes = size;
            info.DataOffset = at + 8;
        } else if (info.DataOffset) {
            info.ChunksAfterData.push_back(id);
        }
        at += 8 + std::uint64_t(size) + (size & 1);
    }
    if (!info.DataOffset) info.Problem = "no data chunk";
    if (info.DataOffset + info.DataBytes > b.size())
        info.Problem = "data size " + std::to_string(info.DataBytes) + " passes the end of the file";
    else if (at != b.size())
        info.Problem =
            "the chunks end at " + std::to_string(at) + ", the file at " + std::to_string(b.size());
    info.Valid = info.Problem.empty() && info.Channels > 0;
    return info;
}

std::string FixturePath(const std::string& name) {
    // A copy of the fixtures elsewhere (for another user) is named in the environment.
    const QByteArray copy = qgetenv("WAVESMITH_FIXTURES");
    return (copy.isEmpty() ? std::string(WAVESMITH_FIXTURES) : copy.toStdString()) + "/" + name;
}

std::string ReadWholeFile(const std::string& path) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

bool PathExists(const std::string& path) {
    return QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(path)));
}
