#include "app/looks.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

double ScaleOverride = 0;
const char* const DecorativeProperty = "wavesmithDecorative";

bool IsDecorative(const QObject* object) {
    return object->property(DecorativeProperty).toBool();
}

// A container whose decorative children are left out of the accessible tree.
class TFilteredAccessible : public QAccessibleWidget {
public:
    TFilteredAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return static_cast<int>(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto children = Children();
        if (index < 0 || index >= static_cast<int>(children.size())) return nullptr;
        return QAccessible::queryAccessibleInterface(children[static_cast<size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        const auto children = Children();
        const auto found = std::find(children.begin(), children.end(), child->object());
        return found == children.end() ? -1 : static_cast<int>(found - children.begin());
    }

private:
    std::vector<QObject*> Children() const {
        std::vector<QObject*> children;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child && !child->isWindow() && !IsDecorative(child)) children.push_back(child);
        }
        return children;
    }
};

QAccessibleInterface* FilteredFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->property("wavesmithHasDecoration").toBool()) return nullptr;
    return new TFilteredAccessible(widget, widget->isWindow() ? QAccessible::Dialog : QAccessible::Client);
}

} // namespace

double LayoutScale() {
    if (ScaleOverride > 0) return ScaleOverride;
    // The design font measured as on the design's 96-dot screen; the user's font on the real one.
    QImage designScreen(1, 1, QImage::Format_ARGB32);
    designScreen.setDotsPerMeterX(3780);
    designScreen.setDotsPerMeterY(3780);
    const double design = QFontMetricsF(QFont(QStringLiteral("Sans Serif"), 9), &designScreen).height();
    const double user = QFontMetricsF(QApplication::font()).height();
    return design > 0 && user > 0 ? user / design : 1.0;
}

void SetLayoutScaleOverride(double scale) {
    ScaleOverride = scale;
}

int Scaled(int design) {
    return static_cast<int>(std::lround(design * LayoutScale()));
}

QSize Scaled(QSize design) {
    return {Scaled(design.width()), Scaled(design.height())};
}

QRect Scaled(QRect design) {
    const int left = Scaled(design.left());
    const int top = Scaled(design.top());
    return {left, top, Scaled(design.left() + design.width()) - left,
            Scaled(design.top() + design.height()) - top};
}

QColor Mix(const QColor& a, const QColor& b, double weight) {
    const auto mix = [weight](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * weight)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

QPalette DialogFace(const QPalette& palette) {
    // The design's face is the light window colour a touch warmer; the same warmth is added to
    // whatever window colour the theme has, and the text keeps the theme's contrast.
    QPalette face = palette;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor window = palette.color(group, QPalette::Window);
        const QColor warm(window.red(), std::max(0, window.green() - 4), std::max(0, window.blue() - 8));
        face.setColor(group, QPalette::Window, warm);
        face.setColor(group, QPalette::WindowText, palette.color(group, QPalette::WindowText));
    }
    return face;
}

QPixmap DrawPicture(QSize size, qreal ratio, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(QSize(static_cast<int>(std::ceil(size.width() * ratio)),
                         static_cast<int>(std::ceil(size.height() * ratio))));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    draw(painter);
    return pixmap;
}

void MarkDecorative(QWidget* widget) {
    static const bool installed = [] {
        QAccessible::installFactory(FilteredFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(DecorativeProperty, true);
    if (QWidget* parent = widget->parentWidget()) parent->setProperty("wavesmithHasDecoration", true);
}
