#include "app/announce.h"

#include <QAccessible>

namespace {
std::function<void(QObject*, const QVariant&)> Listener;
}

void AnnounceValue(QObject* control, const QVariant& value) {
    if (Listener) Listener(control, value);
    QAccessibleValueChangeEvent event(control, value);
    QAccessible::updateAccessibility(&event);
}

void SetAnnouncementListener(std::function<void(QObject*, const QVariant&)> listener) {
    Listener = std::move(listener);
}
