#pragma once
// Acts on the modal window a test has just opened: polls the active modal widget from the event
// loop that exec() runs, until the action reports it is done or the bound passes (then the window
// is rejected so that the test fails instead of hanging).
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// act returns true when it has finished with the window.
inline void WhenModal(std::function<bool(QWidget*)> act, int boundMs = 10000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, boundMs] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool done = modal && modal->isVisible() && act(modal);
        if (!done && !clock->hasExpired(boundMs)) return;
        if (!done) {
            ADD_FAILURE() << "the modal window was not handled in time";
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}
