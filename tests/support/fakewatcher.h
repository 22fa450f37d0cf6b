#pragma once
// A private session bus (its own dbus-daemon) with a StatusNotifierWatcher of our making on it:
// the tray's real questions go to it, and a test sets what it answers.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <mutex>
#include <string>

class TFakeWatcherObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
public:
    bool IsStatusNotifierHostRegistered() const;
    QStringList RegisteredStatusNotifierItems() const;
    int ProtocolVersion() const { return 0; }

    mutable std::mutex Lock;
    bool Host = true;        // a host has registered
    bool TakesItems = true;  // registrations are listed
    bool ListsPaths = false; // as "name/path", as real watchers list a name that registered itself
    QStringList Items;

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}
};

class TFakeWatcher {
public:
    TFakeWatcher(); // starts the bus; the watcher is not on it yet
    ~TFakeWatcher();
    const std::string& Address() const { return FAddress; }
    void Start(); // the watcher takes its name on the bus
    void Stop();  // and leaves it
    void SetHost(bool host);
    void SetTakesItems(bool takes);
    void DropItems(); // as a host restart does
    QStringList Items() const;
    void SetListsPaths(bool paths);
    // A call to a listed item, made the way a host makes it; waits for the answer while the
    // caller's events run, since the item answers on the program's own thread.
    QDBusMessage CallItem(const QString& entry, const QString& method, const QVariantList& arguments = {});
    // A property of a listed item, as a host reads it.
    QVariant ItemProperty(const QString& entry, const QString& name);

private:
    QTemporaryDir FSocketFolder; // the killed daemon cannot remove its socket: this folder goes with it
    QProcess FDaemon;
    std::string FAddress;
    QThread FThread;
    TFakeWatcherObject* FObject = nullptr;
    QDBusConnection FBus{QString()};
};
