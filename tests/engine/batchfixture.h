#pragma once
// A main window in a temporary folder with a scripted decoder beside it: the test program
// childtool copied in as "utils.exe", reading its commands from "<source>.script", else from
// "utils.exe.script". Each listed entry gets a script of its own when the batch starts; a file
// added later follows "utils.exe.script", written just before the window handles a WM_NEXTFILE.
#include "app/formmain.h"
#include "decoder/partname.h"
#include "engine/batchpaths.h"
#include "filelist/filelistmodel.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TEventHook : public QObject {
public:
    std::function<void(QEvent*)> OnEvent;
    bool eventFilter(QObject*, QEvent* event) override {
        if (OnEvent) OnEvent(event);
        return false;
    }
};

// The text of a decoder run, in childtool commands.
namespace Decoder {
// Lines the real decoder prints before its progress, on standard error.
inline std::string Preamble() {
    return "err:input:  in.mp3  (44.1 kHz, 2 channels, MPEG-1 Layer III)\\n\n"
           "err:output: out.wav  (16 bit, Microsoft WAVE)\\n\n";
}
// The header and progress lines for frames 1..total (every `step`), each started with CR.
inline std::string Progress(int total, int step = 1) {
    std::string script = "err:\\rFrame#      0/" + std::to_string(total) + "      128 kbps\n";
    for (int frame = step; frame <= total; frame += step) {
        std::string current = std::to_string(frame);
        std::string all = std::to_string(total);
        current.insert(0, current.size() < 6 ? 6 - current.size() : 0, ' ');
        all.append(all.size() < 6 ? 6 - all.size() : 0, ' ');
        script += "err:\\rFrame#" + current + "/" + all + " 128 kbps\n";
    }
    return script;
}
// A WAV file whose header agrees with its length, holding `audio`: what the batch trusts.
inline std::string WavBytes(const std::string& audio) {
    const auto le32 = [](size_t v) {
        std::string bytes;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
        return bytes;
    };
    return "RIFF" + le32(12 + audio.size()) + "WAVEdata" + le32(audio.size()) + audio;
}
// The same followed by the chunk in which our decoder names the source of a WAV file.
inline std::string Marked(const std::string& wav, const std::string& source) {
    return wav + std::string(wav.size() % 2, '\0') + "wsrc" +
           std::string{char(source.size()), char(source.size() >> 8), 0, 0} + source;
}
inline std::string WriteOutput(const std::string& bytes = WavBytes("")) {
    std::string escaped;
    for (const unsigned char c : bytes) {
        static const char digits[] = "0123456789abcdef";
        if (c >= ' ' && c < 0x7F && c != '\\')
            escaped += static_cast<char>(c);
        else
            escaped += std::string("\\x") + digits[c >> 4] + digits[c & 15];
    }
    return "write-arg:3:" + escaped + "\n";
}
inline std::string Exit(int code) {
    return "exit:" + std::to_string(code) + "\n";
}
// A whole good run.
inline std::string Good(int frames = 10) {
    return Preamble() + Progress(frames) + WriteOutput() + "err:\\n\n" + Exit(0);
}
} // namespace Decoder

// The summary line without its elapsed time.
inline std::string WithoutTime(const std::string& line) {
    const size_t in = line.rfind(" in ");
    return in == std::string::npos ? line : line.substr(0, in + 4);
}

class TBatchTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
    std::unique_ptr<TFormMain> Form;
    TEventHook Hook;
    // Scripts[i] drives the i-th listed entry (the i-th started file when none fails); the last one
    // serves every later file.
    std::vector<std::string> Scripts;
    // Runs on each WM_NEXTFILE before the window handles it.
    std::function<void()> OnNextFile;
    TScriptedServices& Dialogs = TScriptedServices::Current();

    void SetUp() override {
        Dialogs.Reset();
        const QString decoder = QString::fromStdString(Dir.Path() + "utils.exe");
        ASSERT_TRUE(QFile::copy(QString::fromStdString(BinaryPath("childtool")), decoder));
        Form = std::make_unique<TFormMain>(); // loads the settings: the test's own follow
        QCoreApplication::sendPostedEvents(Form.get(), WM_STARTUP); // start-up done before the test
        GlobalVars.DecoderPath = Dir.Path() + "utils.exe";
        GlobalVars.OutDir.clear();
        GlobalVars.Delete = false;
        GlobalVars.PlaySound = false;
        GlobalVars.AutoOpen = false;
        GlobalVars.RunLog.clear();
        GlobalVars.BatchState = bsIdle;
        GlobalVars.Decoders = 1;
        GlobalVars.KeepTags = true;
        GlobalVars.WavFormat = "mp3";
        GlobalVars.ExistingWav = "ask";
        GlobalVars.KeepTree = false; // an earlier test's choice must not carry over
        GlobalVars.TreeStored = false;
        GlobalVars.TreeBase.clear();
        Hook.OnEvent = [this](QEvent* event) {
            if (event->type() != WM_NEXTFILE) return;
            WriteScriptFor(GlobalVars.FilesDecoded + GlobalVars.FilesFailed);
            if (OnNextFile) OnNextFile();
        };
        Form->installEventFilter(&Hook);
    }

    void TearDown() override {
        if (Form) Form->removeEventFilter(&Hook);
        Form.reset();
        GlobalVars.RunLog.clear();
        GlobalVars.BatchState = bsIdle;
        GlobalVars.Decoders = 1;
        SetProcessorCountOverride(0);
        GlobalVars.KeepTags = true;
        GlobalVars.WavFormat = "mp3";
        Dialogs.Reset();
    }

    void WriteScriptFor(int index) {
        if (Scripts.empty()) return;
        const size_t i = std::min(static_cast<size_t>(index), Scripts.size() - 1);
        // Renamed into place: a decoder starting meanwhile reads the old script or the new one, whole.
        std::filesystem::rename(Dir.WriteFile("utils.exe.script.new", Scripts[i]),
                                Dir.Path() + "utils.exe.script");
    }

    // A source file in the list (not through the adding path, so any name and size will do).
    std::string AddSource(const std::string& name, const std::string& bytes = std::string(1000, 'm'),
                          const std::string& folder = "music/") {
        const std::string path = Dir.WriteFile(folder + name, bytes);
        TFileItem item;
        item.Path = Dir.Path() + folder;
        item.FileName = name;
        item.Size = static_cast<int64_t>(bytes.size());
        Form->FileList->Append(item);
        return path;
    }

    // Decodes the list; a batch that does not end within the bound is stopped and fails the test.
    void Decode(int boundMs = 30000) {
        WriteScriptFor(0);
        for (int row = 0; !Scripts.empty() && row < Form->FileList->Count(); ++row) {
            const size_t i = std::min(static_cast<size_t>(row), Scripts.size() - 1);
            const std::string source = Form->FileList->Item(row).FullPath();
            // A name too long for ".script" beside it takes the shared script.
            if (source.rfind(Dir.Path(), 0) == 0 && source.size() - source.rfind('/') + 7 <= 256)
                Dir.WriteFile(source.substr(Dir.Path().size()) + ".script", Scripts[i]);
        }
        QTimer watchdog;
        watchdog.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            GlobalVars.BatchState = bsStopNow;
        });
        watchdog.start(boundMs);
        Form->ActionDecodeExecute();
        EXPECT_FALSE(timedOut) << "the batch did not end";
    }

    std::vector<std::string> ListedNames() const {
        std::vector<std::string> names;
        for (int row = 0; row < Form->FileList->Count(); ++row)
            names.push_back(Form->FileList->Item(row).FileName);
        return names;
    }

    std::string LogFile() const { return Dir.ReadFile("Wavesmith.log"); }
    bool LogFileExists() const { return QFile::exists(QString::fromStdString(Dir.Path() + "Wavesmith.log")); }
    std::string Music(const std::string& name) const { return Dir.Path() + "music/" + name; }
    // An output under its own name or its partial one: what a stopped decoder must not leave.
    bool AnyOutputLeft(const std::string& wavName) const {
        return FileExists(Music(wavName)) || !FindPartialOutputs(Music(wavName)).empty();
    }
};

// Batch tests that run with one decoder and with two at once (the parameter).
class TBatchTestAtOnce : public TBatchTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TBatchTest::SetUp();
        GlobalVars.Decoders = GetParam();
    }
    bool OneAtATime() const { return GetParam() == 1; }
    // With several decoders, the first entry's decoder waits until another file's end has been
    // handled, so the files end in a known order.
    void HoldFirstUntilAnEnd() {
        OnNextFile = [this] { Dir.WriteFile("go", ""); };
        if (OneAtATime()) return;
        if (Scripts.size() == 1) Scripts.push_back(Scripts.front()); // the others keep the script
        Scripts.front() = "wait-file:" + Dir.Path() + "go\n" + Scripts.front();
    }
    // The run log's lines without times. The log follows the order in which files end: one decoder
    // gives the list's order, several at once may end in any order.
    void ExpectRunLog(std::vector<std::string> expected) const {
        std::vector<std::string> actual;
        for (const std::string& line : GlobalVars.RunLog)
            actual.push_back(WithoutTime(line));
        if (!OneAtATime()) {
            std::sort(actual.begin(), actual.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(actual, expected);
    }
};

inline std::string DecodersName(const ::testing::TestParamInfo<int>& info) {
    return info.param == 1 ? "OneDecoder" : std::to_string(info.param) + "Decoders";
}

using TLines = std::vector<std::string>;
