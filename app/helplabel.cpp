#include "app/helplabel.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

TFocusLabel::TFocusLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void TFocusLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    // Styles draw the frame only once the keyboard has moved the focus; a label that takes the
    // focus on its own (the about window's link) would never show it.
    option.state |= QStyle::State_KeyboardFocusChange;
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

THelpLabel::THelpLabel(const QString& caption, QWidget* parent) : TFocusLabel(caption, parent) {
    setBuddy(this); // shows the mnemonic and routes it here
}

bool THelpLabel::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        setFocus(Qt::ShortcutFocusReason);
        if (OnOpenMenu) OnOpenMenu();
        return true;
    }
    return TFocusLabel::event(event);
}

void THelpLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
    case Qt::Key_Menu:
        if (OnOpenMenu) OnOpenMenu();
        return;
    default:
        TFocusLabel::keyPressEvent(event);
    }
}

void THelpLabel::contextMenuEvent(QContextMenuEvent* event) {
    // A mouse press has opened the menu already; the Menu key arrives here.
    if (event->reason() == QContextMenuEvent::Keyboard && OnOpenMenu) OnOpenMenu();
}
