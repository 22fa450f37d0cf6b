#include "settings/addressopener.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <memory>

void RunOpener(const QString& program, const QStringList& arguments, int boundMs,
               std::function<void(bool opened)> done) {
    auto* process = new QProcess(QCoreApplication::instance());
    // No pipes: a browser that outlives the opener must not write into a closed one.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    const auto Answer = [answer](bool opened) {
        if (auto once = std::exchange(*answer, nullptr)) once(opened);
    };
    auto* bound = new QTimer(process);
    bound->setSingleShot(true);
    QObject::connect(bound, &QTimer::timeout, process, [Answer] { Answer(true); });
    QObject::connect(process, &QProcess::finished, process,
                     [process, Answer](int code, QProcess::ExitStatus status) {
                         Answer(status == QProcess::NormalExit && code == 0);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, Answer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         Answer(false);
                         process->deleteLater();
                     });
    bound->start(boundMs);
    process->start(program, arguments);
}
