#pragma once
// Our own StatusNotifierItem on the tray's bus. The platform icon decides once per run whether to
// speak this protocol, so a watcher that comes up after the start would never list the icon; this
// item registers with whichever watcher runs when the window goes to the tray, and again with a
// watcher that replaces it.
#include <QDBusConnection>
#include <QIcon>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <functional>

class QDBusArgument;
class QDBusServiceWatcher;

// One picture of the icon: ARGB32, in network byte order, as the protocol carries it.
struct TSniPixmap {
    int Width = 0;
    int Height = 0;
    QByteArray Bytes;
};
struct TSniToolTip {
    QString IconName;
    QList<TSniPixmap> Pixmaps;
    QString Title;
    QString Text;
};
Q_DECLARE_METATYPE(TSniPixmap)
Q_DECLARE_METATYPE(TSniToolTip)
QDBusArgument& operator<<(QDBusArgument& argument, const TSniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, TSniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const TSniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, TSniToolTip& tip);

// The watcher lists an item of this process now (asked of the watcher, not assumed from the request).
bool ProcessItemListed();

class TStatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QString IconName READ IconName)
    Q_PROPERTY(QList<TSniPixmap> IconPixmap READ IconPixmap)
    Q_PROPERTY(TSniToolTip ToolTip READ ToolTip)

public:
    explicit TStatusNotifierItem(const QIcon& icon, QObject* parent = nullptr);
    ~TStatusNotifierItem() override;

    const QString& Service() const { return FService; }

    void SetToolTip(const QString& tip);
    void SetIcon(const QIcon& icon);

    std::function<void()> OnActivate;
    std::function<void(int x, int y)> OnContextMenu;

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const { return QStringLiteral("wavesmith"); }
    QString Title() const { return QStringLiteral("Wavesmith"); }
    QString Status() const { return QStringLiteral("Active"); }
    int WindowId() const { return 0; }
    bool ItemIsMenu() const { return false; }
    // The icon's name in the desktop's icon theme, where it was installed there.
    QString IconName() const { return FIcon.name(); }
    QList<TSniPixmap> IconPixmap() const;
    TSniToolTip ToolTip() const;

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewIcon();
    void NewToolTip();
    void NewTitle();
    void NewStatus(const QString& status);

private:
    void Register();
    QDBusConnection FBus;
    QString FService;
    QIcon FIcon;
    QString FToolTip;
    QDBusServiceWatcher* FWatcher = nullptr;
};
