#include "settings/qtservices.h"

#include "settings/addressopener.h"

#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The dialog's push buttons as the user sees them, left to right.
std::vector<std::string> ButtonCaptions(QMessageBox& dialog) {
    dialog.show();
    QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
    std::vector<std::string> captions;
    for (QPushButton* button : buttons)
        if (button->isVisible()) captions.push_back(button->text().toStdString());
    return captions;
}

// Acts on the modal dialog once it is up, from inside its event loop.
void WhenModal(std::function<void(TMessageDialog&)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            act(static_cast<TMessageDialog&>(*dialog));
        }
    });
    timer->start(10);
}

void PressEscape(QWidget& widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(BusyCursor, NestsAndIgnoresAnExtraEnd) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    BeginBusyCursor();
    BeginBusyCursor();
    EndBusyCursor();
    EXPECT_TRUE(services.BusyCursorShown);
    EndBusyCursor();
    EXPECT_FALSE(services.BusyCursorShown);
    EndBusyCursor();
    EXPECT_EQ(services.BusyCursorChanges, 2);
    EXPECT_EQ(BusyCursorDepth(), 0);
}

TEST(MessageDialog, BeepsForItsTypeThenAsks) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    services.Answers = {mrNo, mrOk, mrOk, mrOk};
    EXPECT_EQ(
        ShowMessageDialog("Stop?", "Wavesmith", TMsgDlgType::mtConfirmation, mbYes | mbNo, {"Stop now"}),
        mrNo);
    ShowMessageDialog("w", "c", TMsgDlgType::mtWarning, mbOK);
    ShowMessageDialog("e", "c", TMsgDlgType::mtError, mbOK);
    ShowMessageDialog("i", "c", TMsgDlgType::mtInformation, mbOK);
    const auto beeps = services.CallsOf(TServiceCall::Beep);
    ASSERT_EQ(beeps.size(), 4u);
    EXPECT_EQ(beeps[0]->Flags, MB_ICONQUESTION);
    EXPECT_EQ(beeps[1]->Flags, MB_ICONEXCLAMATION);
    EXPECT_EQ(beeps[2]->Flags, MB_ICONHAND);
    EXPECT_EQ(beeps[3]->Flags, 0u);
    EXPECT_EQ(services.Calls[1].Captions, std::vector<std::string>{"Stop now"});
}

TEST(MessageDialog, ButtonsInFixedOrderRenamedByPosition) {
    const TMsgDlgButtons set = mbYesToAll | mbCancel | mbNo | mbYes;
    std::unique_ptr<TMessageDialog> plain(
        BuildMessageDialog("t", "Wavesmith", TMsgDlgType::mtConfirmation, set, {}));
    EXPECT_EQ(ButtonCaptions(*plain), (std::vector<std::string>{"&Yes", "&No", "Cancel", "Yes to &All"}));
    EXPECT_EQ(plain->windowTitle(), "Wavesmith");
    EXPECT_EQ(plain->icon(), QMessageBox::Question);

    std::unique_ptr<TMessageDialog> renamed(
        BuildMessageDialog("t", "c", TMsgDlgType::mtWarning, set, {"Stop now", "When done"}));
    EXPECT_EQ(ButtonCaptions(*renamed),
              (std::vector<std::string>{"Stop now", "When done", "Cancel", "Yes to &All"}));
    EXPECT_EQ(renamed->icon(), QMessageBox::Warning);

    std::unique_ptr<TMessageDialog> all(
        BuildMessageDialog("t", "c", TMsgDlgType::mtCustom, 0x7FF, {"", "Later"}));
    EXPECT_EQ(ButtonCaptions(*all),
              (std::vector<std::string>{"&Yes", "Later", "OK", "Cancel", "&Abort", "&Retry", "&Ignore",
                                        "&All", "N&o to All", "Yes to &All", "&Help"}));
}

TEST(MessageDialog, ReturnsTheButtonsResultAndCancelOnEscape) {
    TQtServices services;
    WhenModal([](TMessageDialog& dialog) { dialog.buttons().at(1)->click(); });
    EXPECT_EQ(services.MessageDialog("t", "c", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, {}),
              mrNo);
    WhenModal([](TMessageDialog& dialog) { PressEscape(dialog); });
    EXPECT_EQ(services.MessageDialog("t", "c", TMsgDlgType::mtConfirmation, mbYes | mbNo, {}), mrCancel);
    WhenModal([](TMessageDialog& dialog) { dialog.close(); });
    EXPECT_EQ(services.MessageDialog("t", "c", TMsgDlgType::mtInformation, mbOK, {}), mrCancel);
}

TEST(MessageBox, ButtonsIconsAndEscapeFollowTheFlags) {
    std::unique_ptr<TMessageDialog> yesNo(
        BuildMessageBox("<b>x</b>", "c", MB_YESNO | MB_ICONQUESTION | 0x100));
    EXPECT_EQ(ButtonCaptions(*yesNo), (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_EQ(yesNo->icon(), QMessageBox::Question);
    EXPECT_EQ(yesNo->defaultButton()->text(), "&No");
    EXPECT_EQ(yesNo->textFormat(), Qt::PlainText);
    EXPECT_EQ(yesNo->EscapeResult, 0); // a Yes/No box has no way out but its buttons
    PressEscape(*yesNo);
    EXPECT_TRUE(yesNo->isVisible());
    EXPECT_EQ(std::unique_ptr<TMessageDialog>(BuildMessageBox("x", "c", MB_OK | MB_ICONHAND))->icon(),
              QMessageBox::Critical);
    // Line breaks as shown and read out: CR LF and a lone CR are one break each.
    EXPECT_EQ(std::unique_ptr<TMessageDialog>(BuildMessageBox("a\r\nb\r c\r\n\r\nd", "c", MB_OK))->text(),
              "a\nb\n c\n\nd");

    TQtServices services;
    WhenModal([](TMessageDialog& dialog) { PressEscape(dialog); });
    EXPECT_EQ(services.MessageBox("t", "c", MB_YESNOCANCEL | MB_ICONEXCLAMATION), IDCANCEL);
    WhenModal([](TMessageDialog& dialog) { dialog.buttons().at(0)->click(); });
    EXPECT_EQ(services.MessageBox("t", "c", MB_YESNO), IDYES);
}

TEST(MessageBox, EveryBoxOpensCentredOverTheMainWindowAndWhollyOnItsScreen) {
    QMainWindow main;
    main.resize(300, 200);
    QWidget elsewhere; // another window that has the focus when a box opens
    elsewhere.setGeometry(10, 10, 80, 60);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct TRow {
        QPoint At;
        bool ElsewhereActive;
        bool Fits; // centred over the window, the box lies on the screen
    };
    const TRow rows[] = {
        {area.center() - QPoint(150, 100), false, true},
        {area.center() - QPoint(150, 100), true, true}, // a second and third box: the same place
        {area.center() - QPoint(150, 100), true, true},
        {area.bottomRight() - QPoint(120, 60), false, false}, // the window half off the screen
        {area.topLeft() - QPoint(200, 100), true, false},
    };
    TQtServices services;
    for (const TRow& row : rows) {
        main.move(row.At);
        main.show();
        if (row.ElsewhereActive) {
            elsewhere.show();
            elsewhere.activateWindow();
            ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &elsewhere; }, 5000));
        }
        QRect box;
        WhenModal([&](TMessageDialog& dialog) {
            box = dialog.frameGeometry();
            dialog.buttons().at(0)->click();
        });
        EXPECT_EQ(services.MessageBox("Overwrite file?", "c", MB_YESNO | MB_ICONQUESTION), IDYES);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_TRUE(area.contains(box)) << row.At.x() << "," << row.At.y();
        if (row.Fits) {
            EXPECT_LE((box.center() - main.frameGeometry().center()).manhattanLength(), 1)
                << "box at " << box.x() << "," << box.y();
        }
        elsewhere.hide();
    }
}

TEST(OpenDialogFilter, BecomesQtFilters) {
    EXPECT_EQ(
        ConvertDialogFilter("MP3 Files (*.mp3)|*.mp3|Playlists (*.m3u;*.pls)|*.m3u;*.pls|All Files|*.*"),
        (QStringList{"MP3 Files (*.mp3)", "Playlists (*.m3u *.pls)", "All Files (*)"}));
    EXPECT_TRUE(ConvertDialogFilter("").isEmpty());
}

TEST(CompletionSound, PlaysThroughThePlayerAndNeverHangs) {
    TTempDir dir;
    // One second of 8 kHz mono 8-bit sound.
    std::string wav = "RIFF____WAVEfmt ";
    const char format[] = {16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0};
    wav.append(format, sizeof format)
        .append("data")
        .append(std::string("\x40\x1F\0\0", 4))
        .append(8000, '\x80');
    const auto sound = dir.WriteFile("complete.wav", wav);
    EXPECT_EQ(SoundTimeLimitMs(sound), 3000);
    EXPECT_EQ(SoundTimeLimitMs(dir.WriteFile("junk.wav", "not a wave")), 10000);

    // A player that records what it was given and then hangs.
    const auto bin = dir.MakeDir("bin");
    dir.WriteFile("bin/paplay", "#!/bin/sh\necho \"$1\" > " + dir.Path() + "played\nexec /bin/sleep 60\n");
    ::chmod((bin + "paplay").c_str(), 0755);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.substr(0, bin.size() - 1)));
    QElapsedTimer timer;
    timer.start();
    TQtServices().PlaySoundSync(sound);
    const qint64 took = timer.elapsed();
    TQtServices().PlaySoundSync(dir.Path() + "missing.wav");
    qputenv("PATH", path);
    EXPECT_GE(took, 2500);
    EXPECT_LT(took, 6000);
    EXPECT_EQ(dir.ReadFile("played"), sound + "\n");
}

TEST(FileDialogs, OpenFilesPresetsTheDialogAndReturnsFullPaths) {
    TTempDir dir;
    const auto first = dir.WriteFile("music/a b.mp3", "x");
    const auto second = dir.WriteFile("music/c.MP3", "x");
    TOpenFilesRequest request{"MP3 Files (*.mp3)|*.mp3|All Files|*.*", dir.Path() + "music", "a b.mp3"};
    QStringList filters;
    QString directory;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        directory = dialog->directory().absolutePath();
        EXPECT_EQ(dialog->selectedNameFilter(), "MP3 Files (*.mp3)");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
        for (const char* name : {"listView", "treeView"}) {
            auto* view = dialog->findChild<QAbstractItemView*>(name);
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection) << name;
        }
        dialog->selectFile("\"a b.mp3\" \"c.MP3\"");
        static_cast<QDialog*>(dialog)->accept();
    });
    std::vector<std::string> names;
    ASSERT_TRUE(TQtServices().OpenFiles(request, names));
    EXPECT_EQ(filters, (QStringList{"MP3 Files (*.mp3)", "All Files (*)"}));
    EXPECT_EQ(directory.toStdString() + "/", dir.Path() + "music/");
    EXPECT_EQ(names, (std::vector<std::string>{first, second}));
    EXPECT_EQ(request.FileName, first);

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(TQtServices().OpenFiles(request, names));

    // A typed name that names nothing is handed on, so that opening it can report "File not found".
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nameBox, nullptr);
        QTest::keyClicks(nameBox, "missing.m3u");
        QTest::keyClick(nameBox, Qt::Key_Return);
    });
    TOpenFilesRequest typed{request.Filter, request.InitialDir, {}};
    ASSERT_TRUE(TQtServices().OpenFiles(typed, names));
    EXPECT_EQ(names, (std::vector<std::string>{dir.Path() + "music/missing.m3u"}));
}

TEST(FileDialogs, BrowseForFolderShowsTheTextAndReturnsTheChoice) {
    TTempDir dir;
    const auto start = dir.MakeDir("out");
    const auto wanted = dir.MakeDir("out/wav files");
    QString title;
    QStringList labels;
    QTimer::singleShot(0, [&] {
        QWidget* frame = QApplication::activeModalWidget();
        ASSERT_NE(frame, nullptr);
        title = frame->windowTitle();
        for (const QLabel* label : frame->findChildren<QLabel*>())
            labels << label->text();
        auto* chooser = frame->findChild<QFileDialog*>();
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->directory().absolutePath().toStdString() + "/", start);
        chooser->selectFile("wav files");
        static_cast<QDialog*>(chooser)->accept();
    });
    std::string folder = start;
    ASSERT_TRUE(TQtServices().BrowseForFolder("Browse for folder", "Choose a folder:", folder));
    EXPECT_EQ(title, "Browse for folder");
    EXPECT_TRUE(labels.contains("Choose a folder:"));
    EXPECT_EQ(folder + "/", wanted);
}

TEST(AddressOpener, AnswersByTheOpenersExitAndNeverWaitsPastTheBound) {
    const QString tool = QString::fromStdString(BinaryPath("childtool"));
    struct TRow {
        const char* Name;
        QString Program;
        QStringList Arguments;
        int BoundMs;
        bool Opened;
    } const rows[] = {
        {"opened", tool, {"exit:0"}, 20000, true},
        {"no method available", tool, {"exit:3"}, 20000, false},
        {"crashed", tool, {"crash"}, 20000, false},
        {"no opener", "/nonexistent/xdg-open", {}, 20000, false},
        {"still running: a browser it waits for", tool, {"hang"}, 50, true},
    };
    for (const TRow& row : rows) {
        std::vector<bool> answers;
        RunOpener(row.Program, row.Arguments, row.BoundMs, [&](bool opened) { answers.push_back(opened); });
        EXPECT_TRUE(answers.empty()) << row.Name << ": the window is not blocked";
        ASSERT_TRUE(WaitFor([&] { return !answers.empty(); }, 30000)) << row.Name;
        EXPECT_EQ(answers, std::vector<bool>{row.Opened}) << row.Name;
    }
}
