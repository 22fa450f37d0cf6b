// The windows on other desktops than the design's: a dark theme, a large font, a screen reader.
#include "app/about.h"
#include "app/formmain.h"
#include "app/helpviewer.h"
#include "app/looks.h"
#include "app/trayicon.h"
#include "engine/formlog.h"
#include "settings/formoptions.h"
#include "tests/support/tempdir.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Each window the program shows, made afresh.
const std::vector<std::pair<const char*, std::function<QWidget*()>>> Windows = {
    {"main window", [] { return new TFormMain; }},
    {"options", [] { return new TFormOptions; }},
    {"about", [] { return new TfrmAbout; }},
    {"log viewer", [] { return new TFormLog(nullptr); }},
    {"help viewer", [] { return new THelpViewer({}, nullptr); }},
};

// The window's designed size: the main window's client, which a small screen cannot cut.
QSize DesignedSize(QWidget* window) {
    if (auto* form = qobject_cast<TFormMain*>(window)) return form->centralWidget()->minimumSize();
    return window->size();
}

QString Caption(const QWidget* widget) {
    QString text;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) text = label->text();
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) // the widest choice
        for (int i = 0; i < box->count(); ++i)
            if (box->itemText(i).size() > text.size()) text = box->itemText(i);
    return text.remove(QLatin1Char('&'));
}

// Readable: text and face far apart in lightness.
bool Readable(const QColor& text, const QColor& face) {
    return std::abs(text.lightness() - face.lightness()) > 100;
}

class Looks : public ::testing::Test {
protected:
    void TearDown() override {
        QApplication::setPalette(QPalette());
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        TTrayIcon::SetAvailableOverride(std::nullopt);
    }
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
};

} // namespace

TEST_F(Looks, DarkPaletteReachesTheOptionsFaceAndTheHelpLabel) {
    QPalette dark(QColor(53, 53, 53), QColor(42, 42, 42)); // button and window
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Link, QColor(120, 180, 255));
    QApplication::setPalette(dark);

    TFormOptions options;
    options.show();
    const QPalette face = options.palette();
    EXPECT_TRUE(Readable(face.color(QPalette::WindowText), face.color(QPalette::Window)));
    // The face stays when the dialog loses the focus or is disabled.
    for (const auto group : {QPalette::Inactive, QPalette::Disabled})
        EXPECT_EQ(face.color(group, QPalette::Window), face.color(QPalette::Active, QPalette::Window))
            << group;
    EXPECT_EQ(Mix(QColor(0, 0, 0), QColor(200, 100, 0), 0.25), QColor(50, 25, 0)); // weighed from the first
    EXPECT_TRUE(Readable(options.RadioButtonSame->palette().color(QPalette::WindowText),
                         options.RadioButtonSame->palette().color(QPalette::Window)));

    TFormMain form;
    const QColor window = form.palette().color(QPalette::Window);
    const auto labelColour = [&] { return form.Label1->palette().color(form.Label1->foregroundRole()); };
    EXPECT_TRUE(Readable(labelColour(), window));
    form.Label1MouseMove();
    EXPECT_EQ(labelColour(), dark.color(QPalette::Link));
    form.Image1MouseMove();
    EXPECT_TRUE(Readable(labelColour(), window));
    EXPECT_NE(form.ImgTray->NormalPicture().toImage().pixelColor(7, 1).lightness(), 0);
}

TEST_F(Looks, LayoutGrowsWithTheFontAndNothingIsNarrowerThanItsText) {
    for (const auto& [name, make] : Windows) {
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        ASSERT_DOUBLE_EQ(LayoutScale(), 1.0) << "the design font keeps the design's pixels";
        const std::unique_ptr<QWidget> designed(make());
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 18));
        const double scale = LayoutScale();
        ASSERT_NEAR(scale, 2.0, 0.2);
        const std::unique_ptr<QWidget> grown(make());
        EXPECT_NEAR(DesignedSize(grown.get()).width(), DesignedSize(designed.get()).width() * scale, 2)
            << name;
        EXPECT_NEAR(DesignedSize(grown.get()).height(), DesignedSize(designed.get()).height() * scale, 2)
            << name;
        if (grown->layout()) grown->layout()->activate();
        for (QWidget* widget : grown->findChildren<QWidget*>()) {
            const QString caption = Caption(widget);
            if (caption.isEmpty() || widget->isHidden()) continue;
            // A drop-down list's box holds its arrow beside the text.
            const int arrow = qobject_cast<QComboBox*>(widget) ? widget->height() : 0;
            EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(caption) + arrow)
                << name << ": " << caption.toStdString();
        }
    }
}

TEST_F(Looks, EveryControlIsNamedForScreenReadersAndDecorationIsHidden) {
    for (const auto& [name, make] : Windows) {
        const std::unique_ptr<QWidget> window(make());
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->focusPolicy() == Qt::NoFocus || widget->objectName().startsWith(QLatin1String("qt_")))
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
                << name << ": " << widget->metaObject()->className() << " "
                << widget->objectName().toStdString();
        }
    }
    TFormMain form;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.ImgTray)->role(), QAccessible::Button);
    // A button for the keyboard too: Space and both Enter keys press it.
    TTrayIcon::SetAvailableOverride(true);
    form.UpdateTrayButton();
    QSignalSpy pressed(form.ImgTray, &TTrayButton::Clicked);
    QTest::keyClick(form.ImgTray, Qt::Key_Space);
    QTest::keyClick(form.ImgTray, Qt::Key_Return);
    QTest::keyClick(form.ImgTray, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(pressed.count(), 3);
    QAccessibleInterface* client = QAccessible::queryAccessibleInterface(form.centralWidget());
    for (int child = 0; child < client->childCount(); ++child)
        EXPECT_NE(client->child(child)->object(), form.Image1) << "a decorative strip is listed";
}
