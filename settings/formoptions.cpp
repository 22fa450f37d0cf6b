#include "settings/formoptions.h"

#include "app/htmlhelp.h"
#include "app/looks.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/services.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

namespace {

// A bevel drawn as an etched line along its top edge.
class TTopLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

QToolButton* FlatButton(QWidget* parent, const QString& caption, const QRect& bounds) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setText(caption);
    button->setGeometry(Scaled(bounds));
    return button;
}

// The design's bounds, grown with the user's font.
template <typename T> T* Placed(T* control, const QRect& bounds) {
    control->setGeometry(Scaled(bounds));
    return control;
}

} // namespace

TFormOptions::TFormOptions(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // The user's font, and the design's size grown with it.
    setFixedSize(Scaled(QSize(340, 381)));
    CreateLayout();
    // F1 is the Help button's key, as on every dialog of the desktop.
    auto* helpKey = new QAction(this);
    helpKey->setShortcut(QKeySequence::HelpContents);
    connect(helpKey, &QAction::triggered, this, &TFormOptions::SeSkinButton3Click);
    addAction(helpKey);
}

void TFormOptions::CreateLayout() {
    GroupBox1 = Placed(new QGroupBox(QStringLiteral("Select out directory"), this), {7, 5, 325, 156});
    // Created first so that it comes first in the tab order.
    RadioButtonSame =
        Placed(new QRadioButton(QStringLiteral("&Same as input file folder"), GroupBox1), {8, 29, 313, 17});
    RadioButtonNew =
        Placed(new QRadioButton(QStringLiteral("&Choose directory"), GroupBox1), {8, 53, 313, 17});
    EditOutputDir = Placed(new QLineEdit(GroupBox1), {8, 77, 289, 21});
    SpeedButtonOutputDir = new QToolButton(GroupBox1);
    SpeedButtonOutputDir->setAutoRaise(true);
    SpeedButtonOutputDir->setIcon(style()->standardIcon(QStyle::SP_DirIcon)); // greyed by QIcon when disabled
    SpeedButtonOutputDir->setGeometry(Scaled(QRect(297, 77, 25, 23)));
    SpeedButtonOutputDir->setEnabled(false);
    SpeedButtonOutputDir->setAccessibleName(QStringLiteral("Browse for folder"));
    EditOutputDir->setAccessibleName(QStringLiteral("Output folder"));
    CheckBoxOpen = Placed(new QCheckBox(QStringLiteral("&Open out directory when done decoding"), GroupBox1),
                          {8, 107, 305, 17});
    CreateTreeRow(131);
    CheckBoxDeleteFileAfterProcessing = Placed(
        new QCheckBox(QStringLiteral("&Delete source file after processing"), this), {15, 170, 313, 17});
    CheckBoxPlaySound =
        Placed(new QCheckBox(QStringLiteral("&Play a sound when done decodeing"), this), {15, 194, 313, 17});
    CreateDecodersRow(218);
    CheckBoxKeepTags =
        Placed(new QCheckBox(QStringLiteral("&Keep tags and cover art"), this), {15, 242, 313, 17});
    CreateWavFormatRow(266);
    CreateCustomFormatRow(290);
    CreateExistingWavRow(314);
    Bevel1 = Placed(new TTopLine(this), {7, 346, 324, 9});
    MarkDecorative(Bevel1);
    SpeedButton1 = FlatButton(this, QStringLiteral("OK"), {87, 354, 75, 23});
    SpeedButton2 = FlatButton(this, QStringLiteral("Cancel"), {172, 354, 75, 23});
    SpeedButton3 = FlatButton(this, QStringLiteral("&Help"), {257, 354, 75, 23});

    connect(RadioButtonSame, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButtonSameClick();
    });
    connect(RadioButtonNew, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButtonNewClick();
    });
    // Choosing a folder (Alt+C, a click) puts the caret in the box, ready to type it.
    connect(RadioButtonNew, &QRadioButton::clicked, this, [this] {
        EditOutputDir->setFocus(Qt::OtherFocusReason);
        EditOutputDir->selectAll();
    });
    connect(SpeedButtonOutputDir, &QToolButton::clicked, this, &TFormOptions::SpeedButtonOutputDirClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TFormOptions::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TFormOptions::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TFormOptions::SeSkinButton3Click);
}

// Keeping the folder tree needs a chosen output folder: the row greys with "Same as input file folder".
void TFormOptions::CreateTreeRow(int top) {
    CheckBoxKeepTree =
        Placed(new QCheckBox(QStringLiteral("Keep the folder &tree below:"), GroupBox1), {8, top, 184, 17});
    EditTreeBase = Placed(new QLineEdit(GroupBox1), {194, top - 2, 103, 21});
    EditTreeBase->setAccessibleName(QStringLiteral("Base folder of the kept folder tree"));
    SpeedButtonTreeBase = new QToolButton(GroupBox1);
    SpeedButtonTreeBase->setAutoRaise(true);
    SpeedButtonTreeBase->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    SpeedButtonTreeBase->setGeometry(Scaled(QRect(297, top - 2, 25, 23)));
    SpeedButtonTreeBase->setAccessibleName(QStringLiteral("Browse for the base folder"));
    connect(CheckBoxKeepTree, &QCheckBox::toggled, this, &TFormOptions::EnableTreeRow);
    connect(SpeedButtonTreeBase, &QToolButton::clicked, this, &TFormOptions::SpeedButtonTreeBaseClick);
    EnableTreeRow();
}

void TFormOptions::EnableTreeRow() {
    const bool chosen = RadioButtonNew->isChecked();
    CheckBoxKeepTree->setEnabled(chosen);
    EditTreeBase->setEnabled(chosen && CheckBoxKeepTree->isChecked());
    SpeedButtonTreeBase->setEnabled(chosen && CheckBoxKeepTree->isChecked());
}

void TFormOptions::SpeedButtonTreeBaseClick() {
    std::string folder = PathBytes(EditTreeBase->text());
    if (Services().BrowseForFolder("Browse for folder",
                                   "Choose the folder whose tree the output folder keeps:", folder))
        EditTreeBase->setText(PathText(IncludeTrailingPathDelimiter(folder)));
}

void TFormOptions::CreateDecodersRow(int top) {
    auto* label = Placed(new QLabel(QStringLiteral("Decoders &at once:"), this), {15, top + 2, 150, 17});
    SpinEditDecoders = Placed(new QSpinBox(this), {170, top, 90, 21});
    SpinEditDecoders->setRange(0, MaxDecoders);
    SpinEditDecoders->setSpecialValueText(QStringLiteral("One per core"));
    label->setBuddy(SpinEditDecoders);
}

void TFormOptions::CreateWavFormatRow(int top) {
    auto* label = Placed(new QLabel(QStringLiteral("WAV &format:"), this), {15, top + 2, 80, 17});
    ComboBoxWavFormat = Placed(new QComboBox(this), {95, top, 235, 21});
    ComboBoxWavFormat->setAccessibleName(QStringLiteral("WAV format"));
    const char* const captions[] = {"As the MP3 (16-bit)", "Audio CD (44.1 kHz, 16-bit, stereo)",
                                    "24-bit, the MP3's rate", "32-bit float, the MP3's rate", "Custom..."};
    for (std::size_t i = 0; i < std::size(WavFormats); ++i)
        ComboBoxWavFormat->addItem(QString::fromLatin1(captions[i]), QString::fromLatin1(WavFormats[i]));
    label->setBuddy(ComboBoxWavFormat);
    connect(ComboBoxWavFormat, &QComboBox::currentIndexChanged, this, &TFormOptions::EnableCustomFormatRow);
}

// Rate, channels and samples of the custom format, below the format's box and as wide as it.
void TFormOptions::CreateCustomFormatRow(int top) {
    auto* label = Placed(new QLabel(QStringLiteral("C&ustom:"), this), {15, top + 2, 80, 17});
    ComboBoxWavRate = Placed(new QComboBox(this), {95, top, 74, 21});
    ComboBoxWavRate->setAccessibleName(QStringLiteral("Custom sample rate in Hz"));
    for (const int32_t rate : WavRates)
        ComboBoxWavRate->addItem(
            rate == 0 ? QStringLiteral("As MP3") : QLocale(QLocale::English).toString(rate), rate);
    ComboBoxWavChannels = Placed(new QComboBox(this), {171, top, 68, 21});
    ComboBoxWavChannels->setAccessibleName(QStringLiteral("Custom channels"));
    ComboBoxWavChannels->addItem(QStringLiteral("As MP3"), 0);
    ComboBoxWavChannels->addItem(QStringLiteral("Mono"), 1);
    ComboBoxWavChannels->addItem(QStringLiteral("Stereo"), 2);
    ComboBoxWavSample = Placed(new QComboBox(this), {241, top, 89, 21});
    ComboBoxWavSample->setAccessibleName(QStringLiteral("Custom samples"));
    const char* const captions[] = {"16-bit", "24-bit", "32-bit float"};
    for (std::size_t i = 0; i < std::size(WavSamples); ++i)
        ComboBoxWavSample->addItem(QString::fromLatin1(captions[i]), QString::fromLatin1(WavSamples[i]));
    label->setBuddy(ComboBoxWavRate);
    EnableCustomFormatRow();
}

void TFormOptions::EnableCustomFormatRow() {
    const bool custom = ComboBoxWavFormat->currentData().toString() == QLatin1String("custom");
    for (QComboBox* box : {ComboBoxWavRate, ComboBoxWavChannels, ComboBoxWavSample})
        if (box) box->setEnabled(custom);
}

void TFormOptions::CreateExistingWavRow(int top) {
    auto* label =
        Placed(new QLabel(QStringLiteral("When a WAV file &exists:"), this), {15, top + 2, 150, 17});
    ComboBoxExistingWav = Placed(new QComboBox(this), {170, top, 160, 21});
    ComboBoxExistingWav->setAccessibleName(QStringLiteral("When a WAV file exists"));
    const char* const captions[] = {"Ask", "Skip it", "Replace it"};
    for (std::size_t i = 0; i < std::size(ExistingWavChoices); ++i)
        ComboBoxExistingWav->addItem(QString::fromLatin1(captions[i]),
                                     QString::fromLatin1(ExistingWavChoices[i]));
    label->setBuddy(ComboBoxExistingWav);
}

// A name that is not valid text cannot come back from the box's text: while the text is what it
// was set to, the bytes it was set from are the answer.
std::string TFormOptions::EditText() const {
    const QString text = EditOutputDir->text();
    return text == PathText(EditBytes) ? EditBytes : PathBytes(text);
}

void TFormOptions::SetEditText(const std::string& text) {
    EditBytes = text;
    EditOutputDir->setText(PathText(text));
}

void TFormOptions::LoadFromSettings() {
    SetEditText(GlobalVars.tmpOutDir);
    const bool chosen = !Trim(GlobalVars.OutDir).empty();
    {
        // The matching rule is applied below, whether or not the check changes.
        const QSignalBlocker blockSame(RadioButtonSame);
        const QSignalBlocker blockNew(RadioButtonNew);
        (chosen ? RadioButtonNew : RadioButtonSame)->setChecked(true);
    }
    // The dialog opens on the checked choice, where Space changes nothing.
    (chosen ? RadioButtonNew : RadioButtonSame)->setFocus(Qt::OtherFocusReason);
    if (chosen)
        RadioButtonNewClick();
    else
        RadioButtonSameClick();
    CheckBoxDeleteFileAfterProcessing->setChecked(GlobalVars.Delete);
    CheckBoxPlaySound->setChecked(GlobalVars.PlaySound);
    CheckBoxOpen->setChecked(GlobalVars.AutoOpen);
    SpinEditDecoders->setValue(GlobalVars.Decoders);
    CheckBoxKeepTags->setChecked(GlobalVars.KeepTags);
    ComboBoxWavFormat->setCurrentIndex(
        std::max(0, ComboBoxWavFormat->findData(QString::fromStdString(GlobalVars.WavFormat))));
    ComboBoxWavRate->setCurrentIndex(std::max(0, ComboBoxWavRate->findData(GlobalVars.WavRate)));
    ComboBoxWavChannels->setCurrentIndex(std::max(0, ComboBoxWavChannels->findData(GlobalVars.WavChannels)));
    ComboBoxWavSample->setCurrentIndex(
        std::max(0, ComboBoxWavSample->findData(QString::fromStdString(GlobalVars.WavSample))));
    ComboBoxExistingWav->setCurrentIndex(
        std::max(0, ComboBoxExistingWav->findData(QString::fromStdString(GlobalVars.ExistingWav))));
    EnableCustomFormatRow();
    EditTreeBase->setText(PathText(TreeBaseFolder()));
    CheckBoxKeepTree->setChecked(GlobalVars.KeepTree);
    EnableTreeRow();
}

void TFormOptions::SaveToSettings() {
    const std::string folder = IncludeTrailingPathDelimiter(Trim(EditText()));
    GlobalVars.OutDir = RadioButtonNew->isChecked() ? folder : std::string();
    GlobalVars.tmpOutDir = folder;
    GlobalVars.Delete = CheckBoxDeleteFileAfterProcessing->isChecked();
    GlobalVars.PlaySound = CheckBoxPlaySound->isChecked();
    GlobalVars.AutoOpen = CheckBoxOpen->isChecked();
    // Stored from the first time the user picks a value other than the one in effect.
    if (SpinEditDecoders->value() != GlobalVars.Decoders) GlobalVars.DecodersStored = true;
    GlobalVars.Decoders = SpinEditDecoders->value();
    if (CheckBoxKeepTags->isChecked() != GlobalVars.KeepTags) GlobalVars.KeepTagsStored = true;
    GlobalVars.KeepTags = CheckBoxKeepTags->isChecked();
    const std::string format = ComboBoxWavFormat->currentData().toString().toStdString();
    if (format != GlobalVars.WavFormat) GlobalVars.WavFormatStored = true;
    GlobalVars.WavFormat = format;
    const int rate = ComboBoxWavRate->currentData().toInt(),
              channels = ComboBoxWavChannels->currentData().toInt();
    const std::string sample = ComboBoxWavSample->currentData().toString().toStdString();
    if (rate != GlobalVars.WavRate || channels != GlobalVars.WavChannels || sample != GlobalVars.WavSample)
        GlobalVars.WavCustomStored = true;
    GlobalVars.WavRate = rate;
    GlobalVars.WavChannels = channels;
    GlobalVars.WavSample = sample;
    const std::string existing = ComboBoxExistingWav->currentData().toString().toStdString();
    if (existing != GlobalVars.ExistingWav) GlobalVars.ExistingWavStored = true;
    GlobalVars.ExistingWav = existing;
    const std::string base = Trim(PathBytes(EditTreeBase->text()));
    const std::string treeBase = base.empty() ? std::string() : IncludeTrailingPathDelimiter(base);
    if (CheckBoxKeepTree->isChecked() != GlobalVars.KeepTree ||
        (treeBase != TreeBaseFolder() && !treeBase.empty())) {
        GlobalVars.TreeStored = true;
        GlobalVars.KeepTree = CheckBoxKeepTree->isChecked();
        GlobalVars.TreeBase = treeBase;
    }
}

void TFormOptions::RadioButtonNewClick() {
    EditOutputDir->setEnabled(true);
    SpeedButtonOutputDir->setEnabled(true);
    EditOutputDir->selectAll();
    CheckBoxOpen->setEnabled(true);
    EnableTreeRow();
}

void TFormOptions::RadioButtonSameClick() {
    // The open-folder check mark is kept and still stored on OK.
    EditOutputDir->setEnabled(false);
    SpeedButtonOutputDir->setEnabled(false);
    CheckBoxOpen->setEnabled(false);
    EnableTreeRow();
}

void TFormOptions::SpeedButtonOutputDirClick() {
    const std::string text = EditText();
    if (!Trim(text).empty()) BrowseSelection = text;
    std::string folder = BrowseSelection;
    if (!Services().BrowseForFolder("Browse for folder",
                                    "Choose folder where decoded waves should be saved:", folder)) {
        BrowseSelection.clear();
        return;
    }
    BrowseSelection = folder;
    SetEditText(IncludeTrailingPathDelimiter(folder));
}

void TFormOptions::SeSkinButton3Click() {
    // A missing help component is not caught here: it reaches the error report.
    CallHtmlHelp(this, HelpFilePath() + "::/Options.htm", HH_DISPLAY_TOC, 0);
}

void TFormOptions::SpeedButton1Click() {
    done(QDialog::Accepted);
}

void TFormOptions::SpeedButton2Click() {
    done(QDialog::Rejected);
}

void TFormOptions::keyPressEvent(QKeyEvent* event) {
    // The flat buttons are no default button, so Enter is ours: it presses the button that has the
    // focus, and OK everywhere else (Escape stays Cancel).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QToolButton*>(focusWidget()))
            button->click();
        else
            SpeedButton1Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormOptions::showEvent(QShowEvent* event) {
    // The designed warm face, taken from the theme's window colours so dark themes stay readable.
    setPalette(DialogFace(QApplication::palette(this)));
    setAutoFillBackground(true);
    QDialog::showEvent(event);
}
