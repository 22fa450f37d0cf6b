#include "tests/support/fakewatcher.h"

#include "tests/support/tempdir.h"

#include <QDBusPendingCall>
#include <QDBusVariant>

bool TFakeWatcherObject::IsStatusNotifierHostRegistered() const {
    std::lock_guard lock(Lock);
    return Host;
}

QStringList TFakeWatcherObject::RegisteredStatusNotifierItems() const {
    std::lock_guard lock(Lock);
    return Items;
}

void TFakeWatcherObject::RegisterStatusNotifierItem(const QString& service) {
    std::lock_guard lock(Lock);
    const QString entry = ListsPaths ? service + QStringLiteral("/StatusNotifierItem") : service;
    if (TakesItems && !Items.contains(entry)) Items << entry;
}

TFakeWatcher::TFakeWatcher() {
    FDaemon.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:dir=") + FSocketFolder.path()});
    if (FDaemon.waitForStarted(10000) && FDaemon.waitForReadyRead(10000))
        FAddress = FDaemon.readLine().trimmed().toStdString();
    FBus = QDBusConnection::connectToBus(QString::fromStdString(FAddress), QStringLiteral("fake-watcher"));
    FThread.start();
    FObject = new TFakeWatcherObject;
    // Answered on a thread of its own: the program under test asks with blocking calls.
    FObject->moveToThread(&FThread);
}

TFakeWatcher::~TFakeWatcher() {
    Stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-watcher"));
    FThread.quit();
    FThread.wait();
    delete FObject;
    FDaemon.kill();
    FDaemon.waitForFinished(10000);
}

void TFakeWatcher::Start() {
    FBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), FObject,
                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    FBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void TFakeWatcher::Stop() {
    FBus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    FBus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

void TFakeWatcher::SetHost(bool host) {
    std::lock_guard lock(FObject->Lock);
    FObject->Host = host;
}

void TFakeWatcher::SetTakesItems(bool takes) {
    std::lock_guard lock(FObject->Lock);
    FObject->TakesItems = takes;
}

void TFakeWatcher::DropItems() {
    std::lock_guard lock(FObject->Lock);
    FObject->Items.clear();
}

QStringList TFakeWatcher::Items() const {
    return FObject->RegisteredStatusNotifierItems();
}

void TFakeWatcher::SetListsPaths(bool paths) {
    std::lock_guard lock(FObject->Lock);
    FObject->ListsPaths = paths;
}

QDBusMessage TFakeWatcher::CallItem(const QString& entry, const QString& method,
                                    const QVariantList& arguments) {
    const QString path = entry.section(QLatin1Char('/'), 1);
    QDBusMessage call = QDBusMessage::createMethodCall(
        entry.section(QLatin1Char('/'), 0, 0),
        path.isEmpty() ? QStringLiteral("/StatusNotifierItem") : "/" + path,
        method == QStringLiteral("Get") ? QStringLiteral("org.freedesktop.DBus.Properties")
                                        : QStringLiteral("org.kde.StatusNotifierItem"),
        method);
    call.setArguments(arguments);
    const QDBusPendingCall pending = FBus.asyncCall(call, 10000);
    WaitFor([&] { return pending.isFinished(); }, 15000);
    return pending.reply();
}

QVariant TFakeWatcher::ItemProperty(const QString& entry, const QString& name) {
    const QDBusMessage reply =
        CallItem(entry, QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}
