#pragma once
// Acts on the modal window that code under test has just opened: polls the active modal widget from
// the event loop that exec() runs, until the action reports it is done or the bound passes. Past
// the bound, late() runs and the window is rejected, so the caller fails instead of hanging.
// Free of the test framework, so that stand-alone test programs can use it too.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

// act returns true when it has finished with the window.
inline void PollModal(std::function<bool(QWidget*)> act, int boundMs, std::function<void()> late) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, boundMs, late] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool done = modal && modal->isVisible() && act(modal);
        if (!done && !clock->hasExpired(boundMs)) return;
        if (!done) {
            late();
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}
