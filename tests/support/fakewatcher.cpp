#include "tests/support/fakewatcher.h"

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
    if (TakesItems && !Items.contains(service)) Items << service;
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
