#pragma once
// Labels that act: they take the keyboard focus and show it.
#include <QLabel>

#include <functional>

// A label that takes the focus (Tab reaches it) and draws the platform's focus frame.
class TFocusLabel : public QLabel {
public:
    TFocusLabel(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The main window's "Help" label: it opens the help menu by mouse, by its mnemonic, and from the
// keyboard once it has the focus (Space, Enter, Down or the Menu key).
class THelpLabel : public TFocusLabel {
public:
    THelpLabel(const QString& caption, QWidget* parent);

    // Runs when the keyboard asks for the menu.
    std::function<void()> OnOpenMenu;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
