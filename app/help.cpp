// The Help label and its menu: the help file, the FAQ topic, the two web links and the about window.
#include "app/about.h"
#include "app/formmain.h"
#include "app/htmlhelp.h"
#include "app/links.h"
#include "settings/paths.h"

#include <QLabel>
#include <QMenu>

#include <exception>
#include <memory>

namespace {

// The help and link items never report anything: a failure leaves the window as it was.
template <typename Fn> void Quietly(Fn fn) {
    try {
        fn();
    } catch (const std::exception&) {
    }
}

// The label's colours are the palette's: its text at rest, its link colour under the pointer.
void SetLabelColour(QLabel* label, QPalette::ColorRole role) {
    if (label) label->setForegroundRole(role);
}

} // namespace

void TFormMain::Label1MouseMove() {
    SetLabelColour(Label1, QPalette::Link);
}

void TFormMain::Image1MouseMove() {
    SetLabelColour(Label1, QPalette::WindowText);
}

void TFormMain::Label1MouseDown(const QPoint& pos) {
    if (PopupMenu2) PopupMenu2->popup(Label1->mapToGlobal(pos));
}

void TFormMain::OpenHelpMenuFromKeyboard() {
    if (!PopupMenu2 || PopupMenu2->actions().isEmpty()) return;
    PopupMenu2->popup(Label1->mapToGlobal(QPoint(0, Label1->height())));
    PopupMenu2->setActiveAction(PopupMenu2->actions().first());
}

void TFormMain::Contents1Click() {
    Quietly([this] { CallHtmlHelp(this, HelpFilePath(), HH_DISPLAY_TOC, 0); });
}

void TFormMain::Tr1Click() {
    Quietly([this] {
        CallHtmlHelp(this, HelpFilePath() + "::/Frequently Asked Questions.htm", HH_DISPLAY_TOC, 0);
    });
}

void TFormMain::TechnicalSupport1Click() {
    Quietly([] { OpenAddress(SupportPageUrl, AppTitle); });
}

void TFormMain::HomePage1Click() {
    Quietly([] { OpenAddress(HomePageUrl, AppTitle); });
}

void TFormMain::About1Click() {
    auto about = std::make_unique<TfrmAbout>(this);
    about->exec();
}
