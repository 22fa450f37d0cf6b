#pragma once
// The about window: a borderless picture with the version, the maker's notice and the web link.
#include <QDialog>

class QLabel;
class QPainter;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // Centred over centreOver when given.
    explicit TfrmAbout(QWidget* centreOver = nullptr);

    void Label4MouseMove();
    void Image1MouseMove();
    void Label4Click();
    void Image1Click();

    QLabel* Image1 = nullptr; // the background picture
    QLabel* Label1 = nullptr; // the maker's notice, first line
    QLabel* Label2 = nullptr; // the maker's notice, second line
    QLabel* Label3 = nullptr; // the version line
    QLabel* Label4 = nullptr; // the web link

protected:
    void showEvent(QShowEvent* event) override;    // FormShow
    void keyPressEvent(QKeyEvent* event) override; // FormKeyDown
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The window's background, drawn for Wavesmith: a title band with a waveform over a field that
// follows the palette; size in device-independent pixels, drawn at the given pixel ratio.
QPixmap AboutPicture(QSize size, qreal ratio, const QPalette& colours);
void DrawAboutPicture(QPainter& painter, QSize size, const QPalette& colours);
