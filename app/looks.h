#pragma once
// How the windows follow the user's desktop: the layout grows with the user's font, colours come
// from the palette, pictures are drawn at the screen's pixel density, and decoration stays out of
// what a screen reader reads.
#include <QColor>
#include <QPalette>
#include <QPixmap>
#include <QRect>

#include <functional>

class QPainter;
class QWidget;

// The user's application font height over the design font's (the 9-point default of a plain
// desktop at 96 dots per inch): exactly 1 there. Every fixed geometry is multiplied by it.
double LayoutScale();
// Tests may pretend another scale; 0 goes back to measuring the font.
void SetLayoutScaleOverride(double scale);

int Scaled(int design);
QSize Scaled(QSize design);
// Edges are scaled, so neighbours that touch at the design font still touch.
QRect Scaled(QRect design);

// a and b mixed: weight 0 gives a, 1 gives b.
QColor Mix(const QColor& a, const QColor& b, double weight);
// The options dialog's warm face, derived from the palette's window colours so that a dark
// theme stays readable.
QPalette DialogFace(const QPalette& palette);

// A picture of the given size in device-independent pixels, drawn by draw (in those pixels) at
// the pixel density of widget's screen.
QPixmap DrawPicture(QSize size, qreal ratio, const std::function<void(QPainter&)>& draw);

// Hides a purely decorative widget from assistive technology (its parent no longer lists it).
void MarkDecorative(QWidget* widget);
