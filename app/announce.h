#pragma once
// Tells screen readers that a control's value changed: they read progress from these events alone.
#include <QVariant>

#include <functional>

class QObject;

void AnnounceValue(QObject* control, const QVariant& value);
// Sees each announcement before Qt passes it on; Qt drops them while no screen reader listens.
void SetAnnouncementListener(std::function<void(QObject* control, const QVariant& value)> listener);
