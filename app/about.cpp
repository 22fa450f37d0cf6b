#include "app/about.h"

#include "app/helplabel.h"
#include "app/links.h"
#include "app/looks.h"
#include "settings/services.h"
#include "settings/windowplace.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr int PictureWidth = 400;
constexpr int PictureHeight = 234;
constexpr int BandHeight = 56;

// The designed face, or a stand-in of the same shape where it is not installed.
QFont SansFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
    return font;
}

// The design's 8 points, grown with the user's font as the window is.
QFont LabelFont() {
    QFont font = SansFont();
    font.setPointSizeF(8 * LayoutScale());
    return font;
}

// A decaying sine burst across the width: the shape of a plucked note.
QPainterPath Waveform(double left, double width, double middle, double amplitude, double cycles) {
    QPainterPath path;
    for (int x = 0; x <= static_cast<int>(width); ++x) {
        const double t = x / width;
        const double envelope = std::sin(t * M_PI) * (0.35 + 0.65 * std::exp(-3.0 * t));
        const double y = middle - amplitude * envelope * std::sin(t * cycles * 2 * M_PI);
        if (x == 0)
            path.moveTo(left + x, y);
        else
            path.lineTo(left + x, y);
    }
    return path;
}

// The link looks like one, underlined in the palette's link colour; under the pointer it is bold too.
void SetLinkStyle(QLabel* link, bool hot) {
    QFont font = link->font();
    font.setBold(hot);
    font.setUnderline(true);
    link->setFont(font);
    link->setForegroundRole(QPalette::Link);
    link->adjustSize();
}

QLabel* TextLabel(QLabel* label, int top) {
    label->setFont(LabelFont());
    label->move(Scaled(8), Scaled(top));
    label->adjustSize();
    return label;
}

QLabel* TextLabel(QWidget* parent, const QString& text, int top) {
    return TextLabel(new QLabel(text, parent), top);
}

} // namespace

QPixmap AboutPicture(QSize size, qreal ratio, const QPalette& colours) {
    return DrawPicture(size, ratio, [&](QPainter& painter) { DrawAboutPicture(painter, size, colours); });
}

void DrawAboutPicture(QPainter& painter, QSize size, const QPalette& colours) {
    painter.scale(size.width() / double(PictureWidth), size.height() / double(PictureHeight));
    painter.setRenderHint(QPainter::Antialiasing);

    // The field behind the texts: the designed light one under a light theme, the theme's own
    // window colour under a dark one, so that the texts in the theme's colour stay readable.
    const QColor window = colours.color(QPalette::Window);
    const bool dark = window.lightness() < 128;
    QLinearGradient field(0, BandHeight, 0, PictureHeight);
    field.setColorAt(0, dark ? window.lighter(115) : QColor(250, 251, 253));
    field.setColorAt(1, dark ? Mix(window, colours.color(QPalette::Highlight), 0.25) : QColor(214, 226, 238));
    painter.fillRect(0, BandHeight, PictureWidth, PictureHeight - BandHeight, field);

    QLinearGradient band(0, 0, PictureWidth, 0);
    band.setColorAt(0, QColor(18, 42, 86));
    band.setColorAt(1, QColor(22, 120, 142));
    painter.fillRect(0, 0, PictureWidth, BandHeight, band);

    // The waveform runs through the band and fades into the field below the text.
    painter.setPen(QPen(QColor(120, 220, 235, 200), 1.6));
    painter.drawPath(Waveform(170, 220, BandHeight / 2.0, 20, 9));
    painter.setPen(QPen(QColor(70, 120, 170, 70), 2.0));
    painter.drawPath(Waveform(0, PictureWidth, 190, 26, 14));
    painter.setPen(QPen(QColor(70, 120, 170, 45), 1.2));
    painter.drawPath(Waveform(0, PictureWidth, 196, 16, 23));

    QFont title = SansFont();
    title.setPixelSize(26);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(QRect(10, 0, 200, BandHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Wavesmith"));

    painter.setPen(QPen(QColor(110, 120, 135), 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(0, 0, PictureWidth - 1, PictureHeight - 1);
}

TfrmAbout::TfrmAbout(QWidget* centreOver) : QDialog(centreOver, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("About..."));
    setAccessibleName(QStringLiteral("About Wavesmith"));
    const QSize size = Scaled(QSize(PictureWidth, PictureHeight));
    setFixedSize(size);

    Image1 = new QLabel(this);
    Image1->setPixmap(AboutPicture(size, devicePixelRatioF(), palette()));
    Image1->setGeometry(0, 0, size.width(), size.height());
    Image1->setMouseTracking(true);
    Image1->installEventFilter(this);
    MarkDecorative(Image1);

    Label3 = TextLabel(this, QString(), 66);
    Label1 = TextLabel(this, QStringLiteral("Wavesmith \u2014 MP3 to WAV batch converter"), 82);
    Label4 = TextLabel(new TFocusLabel(QString::fromLatin1(HomePageDomain), this), 98);
    Label2 = TextLabel(this, QStringLiteral("Copyright \u00a9 2026 the Wavesmith developers"), 114);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setMouseTracking(true);
    Label4->installEventFilter(this);
    Label4->setAccessibleDescription(QStringLiteral("Home page; Enter opens it, Escape closes this window"));
    SetLinkStyle(Label4, false);
    Label4->setFocus(); // the one control: screen readers start here

    if (centreOver) PlaceOverOwner(this, centreOver);
}

void TfrmAbout::Label4MouseMove() {
    SetLinkStyle(Label4, true);
}

void TfrmAbout::Image1MouseMove() {
    SetLinkStyle(Label4, false);
}

void TfrmAbout::Label4Click() {
    OpenAddress(HomePageUrl, "Wavesmith");
}

void TfrmAbout::Image1Click() {
    close();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    Label3->setText(QStringLiteral("Version 2.6"));
    Label3->adjustSize();
    QDialog::showEvent(event);
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // The link holds the focus: the keyboard follows it as a click does.
        if (focusWidget() == Label4) Label4Click();
        break;
    default:
        break;
    }
    event->accept();
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    const bool link = watched == Label4;
    if (!link && watched != Image1) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        link ? Label4MouseMove() : Image1MouseMove();
        return false;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() != Qt::LeftButton || !widget->rect().contains(mouse->position().toPoint())) break;
        link ? Label4Click() : Image1Click();
        return true;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
