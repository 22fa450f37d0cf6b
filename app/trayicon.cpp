#include "app/trayicon.h"

#include "app/trayhost.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleHints>
#include <QTimer>

namespace {
std::optional<bool> AvailableOverride;

// The send-to-tray glyph: a small window frame with an arrow pointing down into the tray.
QPixmap DrawTrayGlyph(const QColor& frame, const QColor& arrow, const QColor& back) {
    QPixmap pixmap(15, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, 15, 14), back);
    painter.setPen(frame);
    painter.drawRect(0, 0, 14, 13);
    painter.fillRect(QRect(1, 1, 13, 2), frame);
    painter.setPen(Qt::NoPen);
    painter.setBrush(arrow);
    const QPoint points[] = {{4, 6}, {11, 6}, {7, 11}, {8, 11}};
    painter.drawPolygon(points, 4);
    painter.fillRect(QRect(6, 4, 3, 2), arrow);
    return pixmap;
}
} // namespace

std::string TrimTrayTip(const std::string& tip) {
    if (tip.size() <= TrayTipLength) return tip;
    std::size_t end = TrayTipLength;
    // Step back over continuation bytes so a multi-byte character is kept whole or not at all.
    while (end > 0 && (static_cast<unsigned char>(tip[end]) & 0xC0) == 0x80)
        --end;
    return tip.substr(0, end);
}

QIcon WavesmithIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A round badge with a sound wave running through it.
    painter.setPen(QPen(QColor(20, 60, 120), 1.5));
    painter.setBrush(QColor(40, 110, 200));
    painter.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    QPainterPath wave;
    wave.moveTo(5, 16);
    wave.cubicTo(8, 4, 11, 4, 13, 16);
    wave.cubicTo(15, 28, 18, 28, 20, 16);
    wave.cubicTo(22, 7, 25, 7, 27, 16);
    painter.setPen(QPen(QColor(255, 230, 90), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(wave);
    painter.end();
    return QIcon(pixmap);
}

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent), FClickTimer(new QTimer(this)), FTrayWatch(new QTimer(this)) {
    FClickTimer->setSingleShot(true);
    FClickTimer->setInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    connect(FClickTimer, &QTimer::timeout, this, [this] {
        if (OnClick) OnClick();
    });
    FTrayWatch->setInterval(1000);
    connect(FTrayWatch, &QTimer::timeout, this, &TTrayIcon::CheckTray);
}

TTrayIcon::~TTrayIcon() {
    if (FActive) DeleteIcon();
}

bool TTrayIcon::Available() {
    return AvailableOverride ? *AvailableOverride : QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetAvailableOverride(std::optional<bool> available) {
    AvailableOverride = available;
}

void TTrayIcon::SetActive(bool active) {
    if (active == FActive) return;
    FActive = active;
    if (active)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::SetToolTip(const std::string& tip) {
    FToolTip = TrimTrayTip(tip);
    ModifyIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    FIcon = icon;
    ModifyIcon();
}

void TTrayIcon::AddIcon() {
    if (FIcon.isNull()) FIcon = WavesmithIcon();
    FPlatform = new QSystemTrayIcon(this);
    connect(FPlatform, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    // The platform icon's own menu: StatusNotifierItem hosts show only this one on a right click.
    if (PopupMenu) FPlatform->setContextMenu(PopupMenu);
    // The stored tip shows at once, also when it was set while the icon was away.
    ModifyIcon();
    // A refusal by the desktop is not reported; Active stays as set.
    FPlatform->show();
    FTrayHost = TrayHostIdentity();
    FTrayWatch->start();
}

void TTrayIcon::ModifyIcon() {
    if (!FActive || !FPlatform) return;
    FPlatform->setIcon(FIcon);
    FPlatform->setToolTip(QString::fromUtf8(FToolTip));
}

void TTrayIcon::DeleteIcon() {
    FTrayWatch->stop();
    FClickTimer->stop();
    if (!FPlatform) return;
    FPlatform->hide();
    // Deleted later: the icon may be the sender of the activation that removes it.
    FPlatform->deleteLater();
    FPlatform->disconnect(this);
    FPlatform = nullptr;
}

void TTrayIcon::PopupAtCursor() {
    if (PopupMenu) PopupMenu->popup(QCursor::pos());
}

bool TTrayIcon::ClickPending() const {
    return FClickTimer->isActive();
}

void TTrayIcon::CheckTray() {
    if (!FActive || !OnTrayLost) return;
    if (!Available() || TrayHostIdentity() != FTrayHost) OnTrayLost();
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        FClickTimer->start();
        break;
    case QSystemTrayIcon::DoubleClick:
        FClickTimer->stop();
        if (OnDblClick) OnDblClick();
        break;
    case QSystemTrayIcon::Context:
        // An XEmbed tray has opened the platform icon's menu already; a StatusNotifierItem host
        // that asks for the menu instead of showing it gets it here.
        FClickTimer->stop();
        if (PopupMenu && !PopupMenu->isVisible()) PopupAtCursor();
        if (OnRightClick) OnRightClick();
        break;
    default:
        break;
    }
}

TTrayButton::TTrayButton(QWidget* parent) : QWidget(parent) {
    FNormal = DrawTrayGlyph(QColor(90, 90, 90), QColor(60, 60, 60), palette().color(QPalette::Button));
    FHover = DrawTrayGlyph(QColor(0, 70, 180), QColor(0, 110, 230), QColor(220, 235, 255));
    FPicture = FNormal;
    setFixedSize(15, 14);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

void TTrayButton::SetPicture(const QPixmap& picture) {
    FPicture = picture;
    update();
}

void TTrayButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) painter.setOpacity(0.35); // greyed where there is no tray to send to
    painter.drawPixmap(0, 0, FPicture);
}

void TTrayButton::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMoved();
    QWidget::mouseMoveEvent(event);
}

void TTrayButton::mousePressEvent(QMouseEvent* event) {
    FPressed = event->button() == Qt::LeftButton;
}

void TTrayButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click) emit Clicked();
}
