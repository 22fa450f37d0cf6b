#include "app/statusnotifier.h"

#include "app/traybus.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>

#include <atomic>

namespace {

const QString ItemPath = QStringLiteral("/StatusNotifierItem");

QList<TSniPixmap> Pixmaps(const QIcon& icon) {
    QList<TSniPixmap> pixmaps;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) continue;
        TSniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.Bytes.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.Bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

// The start of the bus names of this process's items.
QString ItemNamePrefix() {
    return QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const TSniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.Width << pixmap.Height << pixmap.Bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TSniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.Width >> pixmap.Height >> pixmap.Bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TSniToolTip& tip) {
    argument.beginStructure();
    argument << tip.IconName << tip.Pixmaps << tip.Title << tip.Text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TSniToolTip& tip) {
    argument.beginStructure();
    argument >> tip.IconName >> tip.Pixmaps >> tip.Title >> tip.Text;
    argument.endStructure();
    return argument;
}

TStatusNotifierItem::TStatusNotifierItem(const QIcon& icon, QObject* parent)
    : QObject(parent), FBus(TrayBus()), FIcon(icon) {
    static std::atomic<int> Count{0};
    qDBusRegisterMetaType<TSniPixmap>();
    qDBusRegisterMetaType<QList<TSniPixmap>>();
    qDBusRegisterMetaType<TSniToolTip>();
    // Apart from the platform icon's names, which number from 1.
    FService = ItemNamePrefix() + QStringLiteral("w") + QString::number(++Count);
    if (!FBus.isConnected()) return;
    FBus.registerObject(ItemPath, this,
                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                            QDBusConnection::ExportAllSignals);
    FBus.registerService(FService);
    // A watcher that starts (or restarts) later gets the item too.
    FWatcher = new QDBusServiceWatcher(WatcherService, FBus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceRegistered, this, &TStatusNotifierItem::Register);
    Register();
}

TStatusNotifierItem::~TStatusNotifierItem() {
    if (!FBus.isConnected()) return;
    // The watcher drops an item whose name leaves the bus.
    FBus.unregisterObject(ItemPath);
    FBus.unregisterService(FService);
}

void TStatusNotifierItem::Register() {
    QDBusMessage call = QDBusMessage::createMethodCall(WatcherService, WatcherPath, WatcherService,
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << FService;
    FBus.call(call, QDBus::NoBlock);
}

bool ProcessItemListed() {
    const QDBusConnection bus = TrayBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const auto self = static_cast<uint>(QCoreApplication::applicationPid());
    // The watcher names an item by the bus name it registered with, or by its connection's unique
    // name, alone or followed by its object path; the platform icon has a connection of its own.
    for (const QString& entry :
         WatcherProperty(QStringLiteral("RegisteredStatusNotifierItems")).toStringList()) {
        const QString name = entry.section(QLatin1Char('/'), 0, 0);
        if (name.isEmpty()) continue;
        const QDBusReply<uint> owner = bus.interface()->servicePid(name);
        if (owner.isValid() && owner.value() == self) return true;
    }
    return false;
}

void TStatusNotifierItem::SetToolTip(const QString& tip) {
    if (tip == FToolTip) return;
    FToolTip = tip;
    emit NewToolTip();
}

void TStatusNotifierItem::SetIcon(const QIcon& icon) {
    FIcon = icon;
    emit NewIcon();
}

QList<TSniPixmap> TStatusNotifierItem::IconPixmap() const {
    return Pixmaps(FIcon);
}

TSniToolTip TStatusNotifierItem::ToolTip() const {
    return {{}, {}, Title(), FToolTip};
}

void TStatusNotifierItem::Activate(int, int) {
    if (OnActivate) OnActivate();
}

void TStatusNotifierItem::SecondaryActivate(int, int) {}

void TStatusNotifierItem::ContextMenu(int x, int y) {
    if (OnContextMenu) OnContextMenu(x, y);
}

void TStatusNotifierItem::Scroll(int, const QString&) {}
