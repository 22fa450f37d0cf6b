#include "app/singleinstance.h"

#include "settings/paths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {
// Tells our requests from anything else on the socket. The second form adds the launch id; a
// program of the first form may still send the first.
constexpr quint32 Magic = 0x57534d31;
constexpr quint32 MagicWithLaunch = 0x57534d32;
constexpr int WaitMs = 5000; // a running program answers within this, or counts as none
constexpr qint64 MaxRequestBytes = 64 << 20;
// Fixed, so a program started after a Qt update still talks to one started before it.
constexpr auto StreamVersion = QDataStream::Qt_6_0;

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}
std::string Text(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
} // namespace

std::string InstanceSocketPath(const std::string& settingsFile) {
    // The runtime folder belongs to the user alone; the hash keeps the path short whatever the
    // settings file's path is, and tells two portable copies apart.
    const QByteArray hash = QCryptographicHash::hash(Bytes(settingsFile), QCryptographicHash::Sha1).toHex();
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return PathBytes(QDir(dir).filePath(QStringLiteral("wavesmith-") + QString::fromLatin1(hash.left(16))));
}

TSingleInstance::TSingleInstance(const std::string& socketPath, QObject* parent)
    : QObject(parent), FSocketPath(socketPath) {}

bool TSingleInstance::Listening() const {
    return FServer && FServer->isListening();
}

bool TSingleInstance::HandOver(const TStartArgs& args) {
    // Two programs started at once must not both find no one and both listen.
    QLockFile lock(PathText(FSocketPath + ".lock"));
    lock.tryLock(WaitMs);
    TSent sent = Send(args, true);
    // A program from before the launch id closes on the newer form: it still takes the names.
    if (sent == TSent::Refused) sent = Send(args, false);
    switch (sent) {
    case TSent::Delivered:
        return true;
    case TSent::NoProgram:
        Listen();
        return false;
    case TSent::Unknown:
    case TSent::Refused:
        // Something holds the socket but does not answer: start alone rather than take it over.
        return false;
    }
    return false;
}

TSingleInstance::TSent TSingleInstance::Send(const TStartArgs& args, bool withLaunch) const {
    QLocalSocket socket;
    socket.connectToServer(PathText(FSocketPath));
    if (!socket.waitForConnected(WaitMs)) {
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
                   ? TSent::NoProgram
                   : TSent::Unknown;
    }
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setVersion(StreamVersion);
    QList<QByteArray> paths;
    for (const std::string& path : args.Paths)
        paths.append(Bytes(path));
    out << (withLaunch ? MagicWithLaunch : Magic) << Bytes(args.FirstArgument) << paths;
    if (withLaunch) out << Bytes(args.Launch.StartupId) << Bytes(args.Launch.ActivationToken);
    socket.write(request);
    // The answer says the running program has read the whole request.
    const auto noAnswer = [&socket] {
        return socket.state() == QLocalSocket::UnconnectedState ? TSent::Refused : TSent::Unknown;
    };
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(WaitMs)) return noAnswer();
    if (!socket.waitForReadyRead(WaitMs)) return noAnswer();
    return socket.read(1) == "1" ? TSent::Delivered : TSent::Unknown;
}

void TSingleInstance::Listen() {
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    const QString path = PathText(FSocketPath);
    if (FServer->listen(path)) return;
    // A crashed program leaves its socket behind; nobody answered on it, so it is ours to replace.
    QLocalServer::removeServer(path);
    FServer->listen(path); // failing that this program runs alone
}

void TSingleInstance::Accept() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        Read(socket);
    }
}

void TSingleInstance::Read(QLocalSocket* socket) {
    if (socket->bytesAvailable() > MaxRequestBytes) {
        socket->abort();
        return;
    }
    QDataStream in(socket);
    in.setVersion(StreamVersion);
    in.startTransaction();
    quint32 magic = 0;
    QByteArray first;
    QList<QByteArray> paths;
    QByteArray startupId, activationToken;
    in >> magic >> first >> paths;
    if (magic == MagicWithLaunch) in >> startupId >> activationToken;
    if (!in.commitTransaction()) return; // the rest is still on its way
    if (magic != Magic && magic != MagicWithLaunch) {
        socket->abort();
        return;
    }
    socket->write("1");
    socket->flush();
    TStartArgs args;
    args.FirstArgument = Text(first);
    for (const QByteArray& path : paths)
        args.Paths.push_back(Text(path));
    args.Launch = {Text(startupId), Text(activationToken)};
    if (OnStart) OnStart(args);
}
