#include "app/about.h"

#include "app/links.h"
#include "settings/services.h"

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

QFont LabelFont() {
    QFont font = SansFont();
    font.setPointSize(8);
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

void SetLinkStyle(QLabel* link, bool hot) {
    QFont font = link->font();
    font.setBold(hot);
    font.setUnderline(hot);
    link->setFont(font);
    QPalette colours = link->palette();
    colours.setColor(QPalette::WindowText, hot ? QColor(0, 0, 255) : QColor(0, 0, 0));
    link->setPalette(colours);
    link->adjustSize();
}

QLabel* TextLabel(QWidget* parent, const QString& text, int top) {
    auto* label = new QLabel(text, parent);
    label->setFont(LabelFont());
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 0));
    label->setPalette(colours);
    label->move(8, top);
    label->adjustSize();
    return label;
}

} // namespace

QPixmap AboutPicture() {
    QPixmap picture(PictureWidth, PictureHeight);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient field(0, BandHeight, 0, PictureHeight);
    field.setColorAt(0, QColor(250, 251, 253));
    field.setColorAt(1, QColor(214, 226, 238));
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

    painter.setPen(QColor(110, 120, 135));
    painter.drawRect(0, 0, PictureWidth - 1, PictureHeight - 1);
    return picture;
}

TfrmAbout::TfrmAbout(QWidget* centreOver) : QDialog(centreOver, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(PictureWidth, PictureHeight);

    Image1 = new QLabel(this);
    Image1->setPixmap(AboutPicture());
    Image1->setGeometry(0, 0, PictureWidth, PictureHeight);
    Image1->setMouseTracking(true);
    Image1->installEventFilter(this);

    Label3 = TextLabel(this, QString(), 66);
    Label1 = TextLabel(this, QStringLiteral("Wavesmith \u2014 MP3 to WAV batch converter"), 82);
    Label4 = TextLabel(this, QString::fromLatin1(HomePageDomain), 98);
    Label2 = TextLabel(this, QStringLiteral("Copyright \u00a9 2026 the Wavesmith developers"), 114);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setMouseTracking(true);
    Label4->installEventFilter(this);

    if (centreOver) {
        const QRect over = centreOver->frameGeometry();
        move(over.left() + (over.width() - width()) / 2, over.top() + (over.height() - height()) / 2);
    }
}

void TfrmAbout::Label4MouseMove() {
    SetLinkStyle(Label4, true);
}

void TfrmAbout::Image1MouseMove() {
    SetLinkStyle(Label4, false);
}

void TfrmAbout::Label4Click() {
    Services().ShellOpen(HomePageUrl);
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
    if (event->key() == Qt::Key_Escape) close();
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
