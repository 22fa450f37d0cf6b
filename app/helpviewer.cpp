#include "app/helpviewer.h"

#include "app/looks.h"
#include "settings/paths.h"
#include "settings/services.h"
#include "settings/windowplace.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QPointer<THelpViewer> TheViewer;

QToolButton* NavigationButton(QWidget* parent, const QString& caption, QStyle::StandardPixmap icon) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

QUrl PageUrl(const std::string& page) {
    return QUrl::fromLocalFile(PathText(page));
}

} // namespace

THelpViewer::THelpViewer(const std::string& contents, QWidget* owner)
    : QDialog(owner, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      Contents(contents) {
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Wavesmith Help"));
    resize(Scaled(QSize(640, 480)));

    ButtonContents = NavigationButton(this, QStringLiteral("&Contents"), QStyle::SP_DirHomeIcon);
    ButtonBack = NavigationButton(this, QStringLiteral("&Back"), QStyle::SP_ArrowBack);
    ButtonForward = NavigationButton(this, QStringLiteral("&Forward"), QStyle::SP_ArrowForward);
    ButtonBack->setEnabled(false);
    ButtonForward->setEnabled(false);

    Browser = new QTextBrowser(this);
    Browser->setAccessibleName(QStringLiteral("Help page"));
    // Every link comes to LinkClicked: the browser would try to show web pages itself.
    Browser->setOpenLinks(false);
    Browser->setOpenExternalLinks(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonContents);
    buttons->addWidget(ButtonBack);
    buttons->addWidget(ButtonForward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Browser, 1);

    connect(ButtonContents, &QToolButton::clicked, this, [this] { ShowPage(Contents); });
    connect(ButtonBack, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ButtonForward, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(Browser, &QTextBrowser::backwardAvailable, ButtonBack, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ButtonForward, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::anchorClicked, this, &THelpViewer::LinkClicked);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Wavesmith Help") : title);
    });
}

THelpViewer* THelpViewer::Open(const std::string& contents, const std::string& page, QWidget* owner) {
    QWidget* window = owner ? owner->window() : nullptr;
    if (TheViewer && TheViewer->parentWidget() != window) {
        // Kept above the window that asked, so that a modal dialog does not block it.
        TheViewer->setParent(window, TheViewer->windowFlags());
    }
    if (!TheViewer) {
        TheViewer = new THelpViewer(contents, window);
        // Opens over the window that asked, wholly on its screen, title bar included.
        TheViewer->ensurePolished();
        PlaceOverOwner(TheViewer, window);
    }
    TheViewer->ShowPage(page);
    TheViewer->show();
    TheViewer->raise();
    TheViewer->activateWindow();
    return TheViewer;
}

THelpViewer* THelpViewer::Current() {
    return TheViewer;
}

void THelpViewer::ShowPage(const std::string& page) {
    Browser->setSource(PageUrl(page));
}

void THelpViewer::LinkClicked(const QUrl& link) {
    const QUrl target = Browser->source().resolved(link);
    if (target.isLocalFile()) {
        Browser->setSource(target);
        return;
    }
    // Web pages and mail go to the desktop; when nothing takes them the user can still copy them.
    OpenAddress(target.toString().toStdString(), "Wavesmith Help");
}
