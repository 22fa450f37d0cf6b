#pragma once
// Keeps child widgets at their design place as their parent grows or shrinks: each edge that a
// widget is anchored to keeps its distance to the same edge of the parent.
#include <QObject>
#include <QRect>
#include <QSize>

#include <functional>
#include <vector>

class QWidget;

class TAnchors : public QObject {
public:
    // designSize: the parent's size that the design rectangles refer to, at the design font; it and
    // every design rectangle are scaled to the user's font (LayoutScale).
    TAnchors(QWidget* parent, QSize designSize);

    // edges: any of Qt::LeftEdge, Qt::TopEdge, Qt::RightEdge, Qt::BottomEdge.
    void Place(QWidget* widget, QRect design, Qt::Edges edges);
    // A widget that sizes itself to its text: only its design place is scaled.
    void PlaceAt(QWidget* widget, QPoint design, Qt::Edges edges);
    // A rectangle already scaled to the user's font.
    void PlaceScaled(QWidget* widget, QRect rect, Qt::Edges edges);
    // Re-applies every anchor for the parent's current size.
    void Apply();

    // Where a design rectangle lands for a parent of the given size.
    static QRect Follow(QRect design, Qt::Edges edges, QSize designSize, QSize size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TEntry {
        QWidget* Widget;
        QRect Design;
        Qt::Edges Edges;
    };
    QWidget* FParent;
    QSize FDesignSize;
    std::vector<TEntry> FEntries;
};

// Runs handler for each event of the given type that reaches the widget.
void OnEvent(QObject* object, int type, std::function<void(QEvent*)> handler);
