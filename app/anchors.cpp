#include "app/anchors.h"

#include "app/looks.h"

#include <QEvent>
#include <QWidget>

TAnchors::TAnchors(QWidget* parent, QSize designSize)
    : QObject(parent), FParent(parent), FDesignSize(Scaled(designSize)) {
    parent->installEventFilter(this);
}

void TAnchors::Place(QWidget* widget, QRect design, Qt::Edges edges) {
    PlaceScaled(widget, Scaled(design), edges);
}

void TAnchors::PlaceAt(QWidget* widget, QPoint design, Qt::Edges edges) {
    PlaceScaled(widget, QRect(QPoint(Scaled(design.x()), Scaled(design.y())), widget->size()), edges);
}

void TAnchors::PlaceScaled(QWidget* widget, QRect rect, Qt::Edges edges) {
    FEntries.push_back({widget, rect, edges});
    widget->setGeometry(Follow(rect, edges, FDesignSize, FParent->size()));
}

void TAnchors::Apply() {
    for (const TEntry& entry : FEntries)
        entry.Widget->setGeometry(Follow(entry.Design, entry.Edges, FDesignSize, FParent->size()));
}

QRect TAnchors::Follow(QRect design, Qt::Edges edges, QSize designSize, QSize size) {
    const int dw = size.width() - designSize.width();
    const int dh = size.height() - designSize.height();
    QRect result = design;
    // Anchored to both edges: stretch; to the far edge only: move; else stay.
    if (edges.testFlag(Qt::RightEdge)) {
        if (edges.testFlag(Qt::LeftEdge))
            result.setWidth(std::max(0, design.width() + dw));
        else
            result.moveLeft(design.left() + dw);
    }
    if (edges.testFlag(Qt::BottomEdge)) {
        if (edges.testFlag(Qt::TopEdge))
            result.setHeight(std::max(0, design.height() + dh));
        else
            result.moveTop(design.top() + dh);
    }
    return result;
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FParent && event->type() == QEvent::Resize) Apply();
    return QObject::eventFilter(watched, event);
}

namespace {
class TEventHook : public QObject {
public:
    TEventHook(QObject* object, int type, std::function<void(QEvent*)> handler)
        : QObject(object), FType(type), FHandler(std::move(handler)) {
        object->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == FType) FHandler(event);
        return QObject::eventFilter(watched, event);
    }

private:
    int FType;
    std::function<void(QEvent*)> FHandler;
};
} // namespace

void OnEvent(QObject* object, int type, std::function<void(QEvent*)> handler) {
    new TEventHook(object, type, std::move(handler));
}
