#pragma once
// Wavesmith's own help window: the help pages in a text browser with Contents, Back and Forward,
// in the user's font and colours. Pages of the help folder open inside it; web and mail addresses
// go to the desktop's opener, and when nothing opens them the address is shown for copying.
#include <QDialog>

#include <string>

class QTextBrowser;
class QToolButton;
class QUrl;

class THelpViewer : public QDialog {
    Q_OBJECT
public:
    // contents: the help's index page.
    THelpViewer(const std::string& contents, QWidget* owner);

    // Shows the page (a file of the help folder) in the one viewer of the program, made or moved
    // to stay above owner's window; returns that viewer.
    static THelpViewer* Open(const std::string& contents, const std::string& page, QWidget* owner);
    // The one viewer, or nullptr while none is open.
    static THelpViewer* Current();

    void ShowPage(const std::string& page);
    void LinkClicked(const QUrl& link);

    QToolButton* ButtonContents = nullptr;
    QToolButton* ButtonBack = nullptr;
    QToolButton* ButtonForward = nullptr;
    QTextBrowser* Browser = nullptr;

private:
    std::string Contents;
};
