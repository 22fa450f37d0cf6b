#pragma once
// The options dialog: where the WAV files go and which after-actions run. It edits GlobalVars;
// only OK moves anything back.
#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QToolButton;
class QWidget;

class TFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFormOptions(QWidget* parent = nullptr);

    void LoadFromSettings();
    void SaveToSettings();

    void RadioButtonSameClick();
    void RadioButtonNewClick();
    void SpeedButtonOutputDirClick();
    void SpeedButtonTreeBaseClick();
    void SeSkinButton3Click();
    void SpeedButton1Click();
    void SpeedButton2Click();

    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RadioButtonSame = nullptr;
    QRadioButton* RadioButtonNew = nullptr;
    QLineEdit* EditOutputDir = nullptr;
    QToolButton* SpeedButtonOutputDir = nullptr;
    QCheckBox* CheckBoxOpen = nullptr;
    QCheckBox* CheckBoxKeepTree = nullptr; // with the base folder's box and browse button
    QLineEdit* EditTreeBase = nullptr;
    QToolButton* SpeedButtonTreeBase = nullptr;
    QCheckBox* CheckBoxDeleteFileAfterProcessing = nullptr;
    QCheckBox* CheckBoxPlaySound = nullptr;
    QSpinBox* SpinEditDecoders = nullptr; // its lowest value, 0, reads "One per core"
    QCheckBox* CheckBoxKeepTags = nullptr;
    QComboBox* ComboBoxWavFormat = nullptr;   // its items' data are the WavFormats
    QComboBox* ComboBoxWavRate = nullptr;     // the custom format's row, enabled with "Custom..."
    QComboBox* ComboBoxWavChannels = nullptr; // items' data: WavRates, channels (0: the MP3's), WavSamples
    QComboBox* ComboBoxWavSample = nullptr;
    QComboBox* ComboBoxExistingWav = nullptr; // its items' data are the ExistingWavChoices
    QWidget* Bevel1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;

protected:
    void showEvent(QShowEvent* event) override; // FormShow: the background colour
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateLayout();
    void CreateDecodersRow(int top);
    void CreateWavFormatRow(int top);
    void CreateCustomFormatRow(int top);
    void CreateExistingWavRow(int top);
    void EnableCustomFormatRow();
    void CreateTreeRow(int top);
    void EnableTreeRow();
    std::string EditText() const;
    void SetEditText(const std::string& text);

    // The folder browser's selection from its previous use during this opening.
    std::string BrowseSelection;
    // The bytes the folder box was last set from.
    std::string EditBytes;
};
