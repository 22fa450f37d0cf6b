#include "app/trayicon.h"

#include "app/looks.h"
#include "app/trayhost.h"
#include "settings/paths.h"
#ifdef WAVESMITH_HAVE_DBUS
#include "app/statusnotifier.h"
#endif

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleHints>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
std::optional<bool> AvailableOverride;

// The send-to-tray glyph: a small window frame with an arrow pointing down into the tray, drawn
// on the 15 x 14 design grid and scaled to the button's size.
QPixmap DrawTrayGlyph(QSize size, qreal ratio, const QColor& frame, const QColor& arrow, const QColor& back) {
    return DrawPicture(size, ratio, [&](QPainter& painter) {
        painter.scale(size.width() / 15.0, size.height() / 14.0);
        painter.setRenderHint(QPainter::Antialiasing, size != QSize(15, 14));
        painter.fillRect(QRect(0, 0, 15, 14), back);
        painter.fillRect(QRect(0, 0, 15, 3), frame); // top edge and title bar
        painter.fillRect(QRect(0, 3, 1, 11), frame);
        painter.fillRect(QRect(14, 3, 1, 11), frame);
        painter.fillRect(QRect(1, 13, 13, 1), frame);
        painter.setPen(Qt::NoPen);
        painter.setBrush(arrow);
        const QPoint points[] = {{4, 6}, {11, 6}, {7, 11}, {8, 11}};
        painter.drawPolygon(points, 4);
        painter.fillRect(QRect(6, 4, 3, 2), arrow);
    });
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
    // Drawn on a 32-pixel grid at every size a desktop asks for, so no size is a blown-up copy.
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
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
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ProgramIcon() {
    return QIcon::fromTheme(QLatin1String(InstalledIconName), WavesmithIcon());
}

namespace {
constexpr int ShownPollMs = 100;
}

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent), FClickTimer(new QTimer(this)), FShownWatch(new QTimer(this)),
      FTrayWatch(new QTimer(this)) {
    FShownWatch->setInterval(ShownPollMs);
    connect(FShownWatch, &QTimer::timeout, this, &TTrayIcon::ShownCheck);
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
    // Asked of the host itself each time: the platform's own answer is taken once per run.
    return AvailableOverride ? *AvailableOverride : TrayHostPresent();
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
    FTrayHost = TrayHostIdentity();
    FStatusNotifier = StatusNotifierHostPresent();
    FPlatform = new QSystemTrayIcon(this);
    connect(FPlatform, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    // The platform icon's own menu: StatusNotifierItem hosts show only this one on a right click.
    if (PopupMenu) FPlatform->setContextMenu(PopupMenu);
    // The stored tip shows at once, also when it was set while the icon was away.
    ModifyIcon();
    // A refusal by the desktop is not reported; Active stays as set.
    FPlatform->show();
}

void TTrayIcon::UseOwnItem() {
#ifdef WAVESMITH_HAVE_DBUS
    DropPlatform();
    FItem = new TStatusNotifierItem(FIcon, this);
    FItem->OnActivate = [this] {
        if (OnDblClick) OnDblClick();
    };
    FItem->OnContextMenu = [this](int x, int y) {
        if (PopupMenu) PopupMenu->popup(x || y ? QPoint(x, y) : QCursor::pos());
        if (OnRightClick) OnRightClick();
    };
    ModifyIcon();
#endif
}

void TTrayIcon::ModifyIcon() {
#ifdef WAVESMITH_HAVE_DBUS
    if (FActive && FItem) {
        FItem->SetIcon(FIcon);
        FItem->SetToolTip(DisplayText(FToolTip));
    }
#endif
    if (!FActive || !FPlatform) return;
    FPlatform->setIcon(FIcon);
    FPlatform->setToolTip(DisplayText(FToolTip));
}

void TTrayIcon::DeleteIcon() {
    FTrayWatch->stop();
    FClickTimer->stop();
    FShownWatch->stop();
    FShownDone = nullptr;
#ifdef WAVESMITH_HAVE_DBUS
    delete FItem;
    FItem = nullptr;
#endif
    DropPlatform();
}

void TTrayIcon::DropPlatform() {
    if (!FPlatform) return;
    FPlatform->hide();
    // Deleted later: the icon may be the sender of the activation that removes it.
    FPlatform->deleteLater();
    FPlatform->disconnect(this);
    FPlatform = nullptr;
}

void TTrayIcon::ShowMessage(const std::string& title, const std::string& text) {
    if (FPlatform) FPlatform->showMessage(DisplayText(title), DisplayText(text), FIcon);
}

void TTrayIcon::PopupAtCursor() {
    if (PopupMenu) PopupMenu->popup(QCursor::pos());
}

bool TTrayIcon::ClickPending() const {
    return FClickTimer->isActive();
}

bool TTrayIcon::Shown() const {
    if (!FActive) return false;
    if (AvailableOverride) return *AvailableOverride;
#ifdef WAVESMITH_HAVE_DBUS
    if (FStatusNotifier) return ProcessItemListed();
#endif
    if (!FPlatform) return false;
    // Qt gives its XEmbed icon a size of its own before any tray has taken it: only the move into
    // the tray's window tells.
    if (const std::optional<bool> embedded = XEmbedIconEmbedded()) return *embedded;
    // Elsewhere the platform icon has a place on the screen once the shell has taken it.
    return !FPlatform->geometry().isEmpty();
}

void TTrayIcon::WhenShown(int boundMs, std::function<void(bool)> done) {
    FShownDone = std::move(done);
    FShownTries = std::max(1, boundMs / ShownPollMs);
    FPlatformPolls = 0;
    FShownWatch->start();
    ShownCheck();
}

void TTrayIcon::ShownCheck() {
    const bool shown = Shown();
    // The platform icon settles on its protocol once per run: when it has not reached the
    // StatusNotifierItem host within a second (it speaks XEmbed, the host came up later), our own
    // item takes its place.
    if (!shown && FStatusNotifier && FPlatform && !AvailableOverride &&
        ++FPlatformPolls * ShownPollMs >= 1000)
        UseOwnItem();
    if (!shown && --FShownTries > 0) return;
    FShownWatch->stop();
    // The icon is watched from the moment the window relies on it.
    if (shown) FTrayWatch->start();
    if (auto done = std::exchange(FShownDone, nullptr)) done(shown);
}

void TTrayIcon::CheckTray() {
    if (!FActive || !OnTrayLost) return;
    // Our item left the watcher's list (its host lost it) or the host itself went away.
    if (!Available() || TrayHostIdentity() != FTrayHost || !Shown()) OnTrayLost();
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        // A StatusNotifierItem host sends "Activate" for a click and never a double-click: there a
        // click is the way back that the XEmbed double-click is.
        if (FStatusNotifier) {
            if (OnDblClick) OnDblClick();
        } else {
            FClickTimer->start();
        }
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

TTrayButton::TTrayButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(Scaled(QSize(15, 14)));
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Send to tray"));
    setAccessibleDescription(TrayButtonDescription);
    DrawPictures();
    FPicture = FNormal;
    connect(this, &QAbstractButton::clicked, this, &TTrayButton::Clicked);
}

void TTrayButton::DrawPictures() {
    const bool normal = !FPicture.isNull() && FPicture.cacheKey() == FNormal.cacheKey();
    const bool hover = !FPicture.isNull() && FPicture.cacheKey() == FHover.cacheKey();
    // Colours of the theme: greys from the button's text over its face, the highlight on hover.
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::ButtonText);
    const QColor face = colours.color(QPalette::Button);
    const QColor highlight = colours.color(QPalette::Highlight);
    const qreal ratio = devicePixelRatioF();
    FNormal = DrawTrayGlyph(size(), ratio, Mix(text, face, 0.38), Mix(text, face, 0.25), face);
    FHover = DrawTrayGlyph(size(), ratio, Mix(highlight, text, 0.3), highlight, Mix(face, highlight, 0.15));
    if (normal) FPicture = FNormal;
    if (hover) FPicture = FHover;
}

void TTrayButton::SetPicture(const QPixmap& picture) {
    FPicture = picture;
    update();
}

void TTrayButton::paintEvent(QPaintEvent*) {
    if (!qFuzzyCompare(FNormal.devicePixelRatio(), devicePixelRatioF())) DrawPictures();
    QPainter painter(this);
    if (!isEnabled()) painter.setOpacity(0.35); // greyed where there is no tray to send to
    painter.drawPixmap(rect(), FPicture);
    if (hasFocus()) {
        painter.setOpacity(1);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TTrayButton::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMoved();
    QAbstractButton::mouseMoveEvent(event);
}

void TTrayButton::keyPressEvent(QKeyEvent* event) {
    // Space is the button's own; Enter acts at once as well.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TTrayButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) DrawPictures();
    QAbstractButton::changeEvent(event);
}
