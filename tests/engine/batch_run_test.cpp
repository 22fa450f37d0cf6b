// Whole batches with a scripted decoder: counting, the list, the run log and its file, failures.
#include "tests/engine/batchfixture.h"

#include "app/errorreport.h"
#include "app/trayicon.h"
#include "engine/batchpaths.h"
#include "engine/formlog.h"
#include "settings/paths.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class BatchRun : public TBatchTestAtOnce {};

} // namespace

INSTANTIATE_TEST_SUITE_P(AtOnce, BatchRun, ::testing::Values(1, 2), DecodersName);

TEST_P(BatchRun, OneFileDecodesAndLogsOneEmptyLineAndSummary) {
    const std::string source = AddSource("a.mp3");
    Scripts = {Decoder::Good()};
    Decode();
    EXPECT_EQ(GlobalVars.BatchState, bsFinished);
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_EQ(Dir.ReadFile("music/a.wav"), Decoder::WavBytes(""));
    EXPECT_TRUE(FileExists(source)); // Delete is off
    ASSERT_EQ(GlobalVars.RunLog.size(), 2u);
    EXPECT_EQ(GlobalVars.RunLog[0], "");
    EXPECT_EQ(WithoutTime(GlobalVars.RunLog[1]), "Decoded one file in ");
    EXPECT_EQ(LogFile(), "\r\n" + GlobalVars.RunLog[1] + "\r\n");
    EXPECT_EQ(Form->LabelBatchRemaining->text(), "Decoding finished");
    EXPECT_EQ(Form->LabelBatch->text(), "100%");
    EXPECT_EQ(Form->TrayIcon->ToolTip(), "Finished decode");
    EXPECT_TRUE(Dialogs.Calls.empty());
    EXPECT_EQ(Dir.ReadFile("wavesmith.lst"), "");
}

TEST_P(BatchRun, ThreeFilesWithoutErrorsWriteFourLines) {
    AddSource("a.mp3");
    AddSource("b.mp3");
    AddSource("c.mp3");
    Scripts = {Decoder::Good()};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    ASSERT_EQ(GlobalVars.RunLog.size(), 4u);
    EXPECT_EQ(WithoutTime(GlobalVars.RunLog[3]), "Decoded 3 files in ");
    EXPECT_EQ(LogFile(), "\r\n\r\n\r\n" + GlobalVars.RunLog[3] + "\r\n");
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        EXPECT_EQ(Dir.ReadFile(std::string("music/") + name), Decoder::WavBytes(""));
}

TEST_P(BatchRun, TheGaugeEndsAtItsMaximumWhateverTheLastProgressLineSaid) {
    // Each file's last line says 99 of 100 frames, as a long batch's last percent often reads 99.
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        AddSource(name);
    Scripts = {Decoder::Preamble() + Decoder::Progress(100, 3) + Decoder::WriteOutput() + "err:\\n\n" +
               Decoder::Exit(0)};
    std::vector<int> values;
    QObject::connect(Form->ProgressBarBatch, &QProgressBar::valueChanged,
                     [&](int value) { values.push_back(value); });
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    ASSERT_FALSE(values.empty());
    EXPECT_NE(std::find(values.begin(), values.end(), 990), values.end()) << "the last progress line";
    EXPECT_EQ(values.back(), Form->ProgressBarBatch->maximum()) << "then the end, not a reset";
    Form->ActionListUpdate(); // as the Decode command's own closing update does
    EXPECT_EQ(Form->ProgressBarBatch->value(), Form->ProgressBarBatch->maximum()) << "held for a tick";
    Form->Timer1Timer();
    EXPECT_EQ(Form->ProgressBarBatch->value(), 0) << "the next tick shows the idle texts";
}

TEST_P(BatchRun, OneDecoderKeepsItsCommandLineSeveralGetThreadsEach) {
    SetProcessorCountOverride(6);
    AddSource("a.mp3");
    AddSource("b.mp3");
    // a and b share the six processors. b runs until a has ended and c, added then, has started
    // beside it with the three that a gave back.
    OnNextFile = [this] {
        if (Form->FileList->Find(Music("c.mp3")) < 0 && GlobalVars.FilesDecoded == 1) AddSource("c.mp3");
        Dir.WriteFile("go", "");
    };
    Scripts = {Decoder::Good(), "wait-file:" + Dir.Path() + "go\n" + Decoder::Good()};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    const std::string line = Form->Redirector->CommandLine();
    if (OneAtATime()) {
        EXPECT_EQ(line, DecoderCommandLine(GlobalVars.DecoderPath, Music("c.mp3"), Music("c.wav")));
        return;
    }
    EXPECT_EQ(line.substr(line.rfind('"') + 1), " --threads 3");
    for (const TDecoderRun& run : Form->Runs)
        EXPECT_EQ(run.Threads, 3) << run.FileName;
}

TEST_P(BatchRun, SecondOfThreeFailsAndNoKeepsTheOlderLog) {
    Dir.WriteFile("Wavesmith.log", "older\r\n");
    AddSource("a.mp3");
    const std::string bad = AddSource("b.mp3");
    AddSource("c.mp3");
    // The second run ends before its progress header.
    Scripts = {Decoder::Good(), Decoder::Preamble() + "err:cannot read stream\\n\n" + Decoder::Exit(1),
               Decoder::Good()};
    Dialogs.Answers = {IDNO};
    Decode();
    const TLines expected = {
        "",
        "An error occurred while trying to decode \"" + bad + "\"!",
        "Reason: cannot read stream", // the decoder's own last line
        "",
        "",
        "Decoded 2 files in ",
        "One file couldn't be decoded,probably wrong format or using with other application."};
    ExpectRunLog(expected);
    EXPECT_EQ(ListedNames(), TLines{"b.mp3"});
    EXPECT_TRUE(FileExists(bad));
    const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, "At least one error occurred. Do you want to view the log?");
    EXPECT_EQ(boxes[0]->Caption, "warning");
    EXPECT_EQ(boxes[0]->Flags, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(LogFile(), "older\r\n");
}

TEST_P(BatchRun, YesShowsTheViewerThenWritesTheLog) {
    Dir.WriteFile("Wavesmith.log", "older\r\n");
    const std::string bad = AddSource("a.mp3");
    AddSource("b.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Exit(2)};
    HoldFirstUntilAnEnd(); // with two decoders the second entry fails first
    const std::string firstFailed = OneAtATime() ? bad : Music("b.mp3");
    const TLines listed = OneAtATime() ? TLines{"a.mp3", "b.mp3"} : TLines{"b.mp3", "a.mp3"};
    Dialogs.Answers = {IDYES};
    QString shown;
    bool logWrittenBeforeClose = true;
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [&, poll] {
        if (auto* viewer = qobject_cast<TFormLog*>(QApplication::activeModalWidget())) {
            shown = viewer->MemoLog->toPlainText();
            logWrittenBeforeClose = LogFile() != "older\r\n";
            QTest::mouseClick(viewer->ButtonOK, Qt::LeftButton);
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
    Decode();
    EXPECT_TRUE(
        shown.contains("2 files couldn't be decoded,probably wrong format or using with other application."));
    EXPECT_TRUE(shown.startsWith("An error occurred while trying to decode \"" +
                                 QString::fromStdString(firstFailed)));
    EXPECT_FALSE(logWrittenBeforeClose);
    EXPECT_EQ(LogFile().substr(0, 10), "An error o");
    EXPECT_NE(LogFile().find("Decoded 0 files in "), std::string::npos);
    EXPECT_EQ(ListedNames(), listed);
}

TEST_P(BatchRun, CrashHalfWayWithDeleteOnKeepsTheSource) {
    GlobalVars.Delete = true;
    const std::string source = AddSource("a.mp3");
    // Left by a decoder that no longer runs (no process has that id): the batch clears it after
    // a decoder that did not finish, which may not have got as far as clearing it.
    const std::string stale = Dir.WriteFile("music/.a.wav.999999999.part", "unfinished");
    const std::string another = Dir.WriteFile("music/.b c.wav.999999998.part", "another output's");
    const std::string kept = Dir.WriteFile("music/.b.wav.part", "no process id: not a partial file");
    Scripts = {Decoder::Preamble() + Decoder::Progress(10, 5).substr(0, 200) +
               Decoder::WriteOutput("RIFFpartial") + "crash\n"};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    EXPECT_FALSE(FileExists(stale));
    EXPECT_FALSE(FileExists(another)); // the whole folder, searched once
    EXPECT_TRUE(FileExists(kept));
    EXPECT_EQ(GlobalVars.RunLog.at(1), "Reason: the decoder ended abnormally (signal 11)");
    EXPECT_TRUE(FileExists(source));
    EXPECT_EQ(Dir.ReadFile("music/a.wav"), "RIFFpartial"); // a partial output stays
}

TEST_P(BatchRun, SourceThatChangesWhileDecodedIsKeptAndFails) {
    namespace fs = std::filesystem;
    GlobalVars.Delete = true;
    // Each change comes after its file's decoder has started; that decoder, whatever it says, ends
    // only after the change. Only the unchanged file counts as decoded.
    const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> changes = {
        {"grown.mp3", [](const fs::path& path) { std::ofstream(path, std::ios::app) << "more"; }},
        {"touched.mp3",
         [](const fs::path& path) { fs::last_write_time(path, fs::last_write_time(path) - 10s); }},
        {"replaced.mp3", [this](const fs::path& path) { // the same size and time, but another file
             const fs::path other = Dir.WriteFile("other.mp3", std::string(1000, 'r'));
             fs::last_write_time(other, fs::last_write_time(path));
             fs::rename(other, path);
         }}};
    std::set<std::string> waiting;
    for (const auto& [name, change] : changes) {
        waiting.insert(AddSource(name));
        Scripts.push_back("wait-file:" + Dir.Path() + name + ".changed\n" + Decoder::Good());
    }
    const std::string unchanged = AddSource("unchanged.mp3");
    Scripts.push_back(Decoder::Good());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (const auto& [name, change] : changes)
            for (const TDecoderRun& run : Form->Runs)
                if (run.Busy && run.FileName == name && waiting.erase(run.Source)) {
                    change(run.Source);
                    Dir.WriteFile(name + ".changed", "");
                }
    });
    poll.start(5);
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_TRUE(waiting.empty());
    EXPECT_EQ(GlobalVars.FilesFailed, 3);
    EXPECT_FALSE(FileExists(unchanged));
    for (const auto& [name, change] : changes) {
        EXPECT_TRUE(FileExists(Music(name))) << name;
        const auto failed = std::find(GlobalVars.RunLog.begin(), GlobalVars.RunLog.end(),
                                      "An error occurred while trying to decode \"" + Music(name) + "\"!");
        ASSERT_NE(failed, GlobalVars.RunLog.end()) << name;
        EXPECT_EQ(failed[1], "Reason: the source file changed while it was decoded") << name;
    }
}

// A full disk and an output folder that refuses new files end the batch alike: no other file could
// be written there. The user is told once, with the folder and the system's reason.
TEST_P(BatchRun, FullDiskOrRefusedFolderFailsItsFileEndsTheBatchAsWhenDoneAndIsReportedOnce) {
    struct TCase {
        std::string Line;
        int Code;
        std::string Report;
    };
    for (const TCase& c :
         {TCase{"cannot write output file: No space left on device", 5,
                ErrorReportText("Disk full: " + Music(""))},
          TCase{"cannot create output file \"" + Music("a.wav") + "\": Permission denied", 7,
                "Cannot write into the output folder " + Music("") + ": Permission denied"}}) {
        Form->FileList->Clear();
        Dialogs.Reset();
        GlobalVars.RunLog.clear();
        for (const char* wav : {"a.wav", "b.wav", "c.wav"})
            QFile::remove(QString::fromStdString(Music(wav)));
        const std::string a = AddSource("a.mp3");
        AddSource("b.mp3");
        AddSource("c.mp3");
        // With two decoders b runs beside a, and ends after it.
        QFile::remove(QString::fromStdString(Dir.Path() + "go"));
        OnNextFile = [this] { Dir.WriteFile("go", ""); };
        Scripts = {Decoder::Preamble() + Decoder::Progress(10, 5) + Decoder::WriteOutput() + "err:" + c.Line +
                       "\n" + Decoder::Exit(c.Code),
                   "wait-file:" + Dir.Path() + "go\n" + Decoder::Good()};
        Dialogs.Answers = {IDNO, IDNO}; // the report and the log question, in either order
        Decode();
        EXPECT_EQ(GlobalVars.BatchState, bsFinished);
        EXPECT_EQ(GlobalVars.FilesFailed, 1);
        EXPECT_EQ(GlobalVars.FilesDecoded, GetParam() - 1);
        EXPECT_TRUE(FileExists(a));
        EXPECT_EQ(ListedNames(),
                  OneAtATime() ? (TLines{"b.mp3", "c.mp3", "a.mp3"}) : (TLines{"c.mp3", "a.mp3"}));
        EXPECT_EQ(GlobalVars.RunLog.front(), "An error occurred while trying to decode \"" + a + "\"!");
        EXPECT_EQ(GlobalVars.RunLog.at(1), "Reason: " + c.Line);
        ASSERT_TRUE(WaitFor([this] { return Dialogs.CallsOf(TServiceCall::MessageBox).size() == 2; }, 5000));
        const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
        EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(),
                                [](auto* box) { return box->Caption == "Error Report"; }),
                  c.Code == 5 ? 1 : 0); // the refused folder is the user's to mend: a plain box
        const auto report =
            std::find_if(boxes.begin(), boxes.end(), [](auto* box) { return box->Caption != "warning"; });
        ASSERT_NE(report, boxes.end());
        EXPECT_EQ((*report)->Text, c.Report); // the folder, not the file
    }
}

TEST_P(BatchRun, OutputThatCannotBeFlushedKeepsItsSourceAndFails) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens any file";
    GlobalVars.Delete = true;
    const std::string a = AddSource("a.mp3");
    // The decoder may write the output, but nobody may open it to flush it.
    const std::string wav = Dir.WriteFile("music/a.wav", "");
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(wav), QFile::WriteOwner));
    Scripts = {Decoder::Good()};
    Dialogs.Answers = {mrYes, IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    EXPECT_TRUE(FileExists(a));
}

TEST_P(BatchRun, OutputThatIsALinkOrNoWholeWavKeepsItsSourceAndFails) {
    GlobalVars.Delete = true;
    const std::string a = AddSource("a.mp3");
    const std::string b = AddSource("b.mp3");
    // a's output name leads elsewhere, as after a swap of the decoder's file for a link; b's
    // header promises more audio than its file holds.
    const std::string elsewhere = Dir.WriteFile("elsewhere.wav", "");
    ASSERT_TRUE(QFile::link(QString::fromStdString(elsewhere), QString::fromStdString(Music("a.wav"))));
    Scripts = {Decoder::Good(), Decoder::Preamble() + Decoder::Progress(10) +
                                    Decoder::WriteOutput(Decoder::WavBytes("audio").substr(0, 20)) +
                                    Decoder::Exit(0)};
    Dialogs.Answers = {mrYes, IDNO};
    Decode();
    EXPECT_EQ(Dir.ReadFile("elsewhere.wav"), Decoder::WavBytes("")) << "a whole WAV, but not under its name";
    EXPECT_EQ(GlobalVars.FilesFailed, 2);
    EXPECT_TRUE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
    EXPECT_EQ(std::count(GlobalVars.RunLog.begin(), GlobalVars.RunLog.end(),
                         "Reason: the output file is not a whole WAV file on the disk; the source is kept"),
              2);
}

// Outputs that the decoder leaves as they are (they existed, and the user agreed to replace them),
// the large ones RF64 files over 4 GiB made sparse: a source goes only when its output's sizes
// agree with the file.
TEST_P(BatchRun, DeleteGoesByTheSizesOfOutputsOver4GiBAndOfPaddedChunks) {
    GlobalVars.Delete = true;
    const auto le = [](uint64_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    constexpr uint64_t Big = (5ull << 30) + 1000, Audio = 12 + 36 + 8;
    // RF64: its ds64 chunk first, holding the sizes that the 32-bit fields cannot.
    const auto rf64 = [&](uint64_t riff, uint64_t data, const char* first = "ds64", int ds64 = 28) {
        return "RF64" + le(0xFFFFFFFF, 4) + "WAVE" + first + le(ds64, 4) + le(riff, 8) + le(data, 8) +
               le(data / 4, 8) + le(0, 4) + "data" + le(0xFFFFFFFF, 4);
    };
    const struct {
        const char* Name;
        std::string Head;
        uint64_t Size;
        bool Whole;
    } outputs[] = {
        {"rf64", rf64(Big - 8, Big - Audio), Big, true},
        {"riffsizeoff", rf64(Big - 9, Big - Audio), Big, false},
        {"datapastend", rf64(Big - 8, Big - Audio + 1), Big, false},
        {"nods64", rf64(Big - 8, Big - Audio, "JUNK"), Big, false},
        {"shortds64", rf64(Big - 8, Big - Audio, "ds64", 27), Big, false},
        // A chunk of odd length before the audio is padded to an even one.
        {"padded",
         "RIFF" + le(4 + 12 + 8 + 4, 4) + "WAVELIST" + le(3, 4) + "abc" + '\0' + "data" + le(4, 4) + "pcm!",
         0, true},
    };
    std::vector<std::string> sources;
    for (const auto& output : outputs) {
        sources.push_back(AddSource(std::string(output.Name) + ".mp3"));
        const std::string wav = Music(std::string(output.Name) + ".wav");
        std::ofstream(wav, std::ios::binary) << output.Head;
        if (output.Size) std::filesystem::resize_file(wav, output.Size);
    }
    Scripts = {Decoder::Preamble() + Decoder::Progress(10) + Decoder::Exit(0)};
    Dialogs.Answers = {mrYesToAll, IDNO};
    Decode();
    for (size_t i = 0; i < std::size(outputs); ++i)
        EXPECT_EQ(FileExists(sources[i]), !outputs[i].Whole) << outputs[i].Name;
    EXPECT_EQ(GlobalVars.FilesFailed, 4);
}

TEST_P(BatchRun, NonZeroExitAfterFullProgressFails) {
    GlobalVars.Delete = true;
    const std::string source = AddSource("a.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Progress(10) + Decoder::WriteOutput("RIFFwhole?") +
               Decoder::Exit(1)};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    EXPECT_TRUE(FileExists(source));
    EXPECT_EQ(Dir.ReadFile("music/a.wav"), "RIFFwhole?");
}

TEST_P(BatchRun, SuccessWithoutOutputFailsAndAnEmptyOutputIsRemoved) {
    GlobalVars.Delete = true;
    const std::string a = AddSource("a.mp3");
    const std::string b = AddSource("b.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Progress(10) + "err:\\nno room here\\n\n" + Decoder::Exit(0),
               Decoder::Preamble() + Decoder::Progress(10) + Decoder::WriteOutput("") + Decoder::Exit(0)};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 0);
    EXPECT_EQ(GlobalVars.FilesFailed, 2);
    // Each file's own reason: the decoder's last line, else the window's; none carried over.
    for (const char* reason : {"Reason: no room here", "Reason: the decoder wrote no output file"})
        EXPECT_EQ(std::count(GlobalVars.RunLog.begin(), GlobalVars.RunLog.end(), reason), 1) << reason;
    EXPECT_TRUE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
    EXPECT_FALSE(FileExists(Music("b.wav")));
}

TEST_P(BatchRun, DeleteRemovesTheSourceOfADecodedFile) {
    GlobalVars.Delete = true;
    const std::string source = AddSource("a.mp3");
    // After decoders that all succeeded the folder is not searched for dead decoders' files.
    const std::string stale = Dir.WriteFile("music/.z.wav.999999999.part", "unfinished");
    Scripts = {Decoder::Good()};
    Decode();
    EXPECT_FALSE(FileExists(source));
    EXPECT_TRUE(FileExists(Music("a.wav")));
    EXPECT_TRUE(FileExists(stale));
}

// Two albums with the same track names into one folder: one question for the whole list, whose
// answer numbers the later outputs (Enter), keeps the folder tree, or starts nothing. No WAV is
// written over another, so every source may go.
TEST_P(BatchRun, SameNamedSourcesIntoOneFolderKeepEveryFileAsTheUserChose) {
    struct TCase {
        int Answer;
        std::vector<std::pair<std::string, std::string>> Wavs; // below the output folder, with whose audio
    };
    const TCase cases[] = {{mrYes, {{"01 Intro.wav", "a"}, {"01 Intro (2).wav", "b"}, {"02 Song.wav", "c"}}},
                           {mrNo, {{"A/01 Intro.wav", "a"}, {"B/01 Intro.wav", "b"}, {"A/02 Song.wav", "c"}}},
                           {mrCancel, {}}};
    GlobalVars.Delete = true;
    GlobalVars.TreeBase = Dir.Path() + "albums/";
    const auto writing = [](const std::string& bytes) {
        return Decoder::Preamble() + Decoder::Progress(10) + Decoder::WriteOutput(Decoder::WavBytes(bytes)) +
               Decoder::Exit(0);
    };
    int round = 0;
    for (const TCase& c : cases) {
        GlobalVars.KeepTree = false;
        GlobalVars.TreeStored = false;
        GlobalVars.BatchState = bsIdle;
        Dialogs.Reset();
        const std::string outName = "out" + std::to_string(++round) + "/";
        GlobalVars.OutDir = Dir.MakeDir(outName);
        const std::vector<std::string> sources = {AddSource("01 Intro.mp3", "a", "albums/A/"),
                                                  AddSource("01 Intro.mp3", "b", "albums/B/"),
                                                  AddSource("02 Song.mp3", "c", "albums/A/")};
        Scripts = {"sleep:100\n" + writing("a"), writing("b"), writing("c")};
        Dialogs.Answers = {c.Answer};
        Decode();
        const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0]->Buttons, mbYes | mbNo | mbCancel);
        EXPECT_EQ(dialogs[0]->Text.rfind("One file ", 0), 0u) << dialogs[0]->Text;
        EXPECT_NE(dialogs[0]->Text.find(GlobalVars.OutDir + "01 Intro.wav"), std::string::npos);
        EXPECT_EQ(GlobalVars.BatchState, c.Wavs.empty() ? bsIdle : bsFinished);
        if (!c.Wavs.empty()) {
            EXPECT_EQ(GlobalVars.FilesDecoded, static_cast<int>(c.Wavs.size()));
        }
        for (const auto& [wav, audio] : c.Wavs)
            EXPECT_EQ(Dir.ReadFile(outName + wav), Decoder::WavBytes(audio)) << wav;
        for (const std::string& source : sources)
            EXPECT_EQ(FileExists(source), c.Wavs.empty()) << source;
        EXPECT_EQ(GlobalVars.KeepTree, c.Answer == mrNo); // kept for later batches
        EXPECT_EQ(GlobalVars.TreeStored, c.Answer == mrNo);
        Form->FileList->Clear();
    }
    // A resumed batch with the folder tree kept writes to the same places, and asks nothing; after a
    // restart, the tree is the one the second round's answer stored.
    Dialogs.Reset();
    GlobalVars.TreeBase.clear();
    ASSERT_TRUE(LoadSettings());
    GlobalVars.Delete = true; // not among the keys this test stored
    GlobalVars.OutDir = Dir.Path() + "out2/";
    const std::string resumed = AddSource("01 Intro.mp3", "b2", "albums/B/");
    Dir.WriteFile("out2/B/01 Intro.wav", Decoder::Marked(Decoder::WavBytes("b"), resumed)); // made from it
    Scripts = {writing("b2")};
    Dialogs.Answers = {mrYes};
    Decode();
    EXPECT_EQ(Dialogs.CallsOf(TServiceCall::MessageDialog).size(), 1u); // the existing file's question
    EXPECT_EQ(Dir.ReadFile("out2/B/01 Intro.wav"), Decoder::WavBytes("b2"));
    EXPECT_FALSE(FileExists(resumed));
}

TEST_P(BatchRun, DeleteBesideTheSourcesKeepsEverySourceWhoseOutputIsItsOwn) {
    GlobalVars.Delete = true;
    GlobalVars.KeepTree = true; // a kept folder tree has no place beside the sources
    GlobalVars.TreeBase = Dir.Path();
    // A second dot in the name: the output's name is all of it but the last extension.
    const std::string lower = AddSource("1. x.mp3", "a", "A/");
    const std::string upper = AddSource("1. x.MP3", "b", "A/"); // would also write "A/1. x.wav"
    const std::string apart = AddSource("1. x.mp3", "c", "B/"); // "B/1. x.wav" is its own
    Dialogs.Answers = {mrYes};
    const auto writing = [](const std::string& bytes) {
        return Decoder::Preamble() + Decoder::Progress(10) + Decoder::WriteOutput(bytes) + Decoder::Exit(0);
    };
    Scripts = {"sleep:300\n" + writing(Decoder::WavBytes("one")), writing(Decoder::WavBytes("two")),
               writing(Decoder::WavBytes("three"))};
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->Buttons, mbYes | mbCancel); // beside the sources there is no tree to keep
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    EXPECT_EQ(Dir.ReadFile("A/1. x.wav"), Decoder::WavBytes("one"));
    EXPECT_EQ(Dir.ReadFile("A/1. x (2).wav"), Decoder::WavBytes("two"));
    EXPECT_FALSE(FileExists(lower));
    EXPECT_FALSE(FileExists(upper));
    EXPECT_FALSE(FileExists(apart));
}

TEST_P(BatchRun, UnwritableSavedListIsReportedOnceAndTheBatchGoesOnToItsExit) {
    Form->show();
    Form->CheckBoxCloseApp->setChecked(true);
    GlobalVars.PlaySound = true;
    Dir.MakeDir("wavesmith.lst"); // a folder in the saved list's place: refused even to root
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        AddSource(name);
    Scripts = {Decoder::Good()};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 4);
    EXPECT_TRUE(ListedNames().empty());
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_TRUE(FileExists(Music(name))) << name;
    ASSERT_TRUE(WaitFor([this] { return !Dialogs.CallsOf(TServiceCall::MessageBox).empty(); }, 5000));
    const auto reports = Dialogs.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]->Caption, "Error Report");
    EXPECT_EQ(reports[0]->Text, ErrorReportText("Cannot create file " + Dir.Path() + "wavesmith.lst"));
    EXPECT_EQ(Dialogs.CallsOf(TServiceCall::PlaySound).size(), 1u);
    EXPECT_TRUE(LogFileExists());
    EXPECT_FALSE(Form->isVisible());
}

TEST_P(BatchRun, BitstreamProblemStopsTheDecoderBeforeAndAfterTheHeader) {
    // Both runs hang after the line: only our stop ends them.
    const std::string a = AddSource("a.mp3");
    const std::string b = AddSource("b.mp3");
    GlobalVars.Delete = true;
    Scripts = {Decoder::Preamble() + "err:bitstream problem: no header\\n\nhang\n",
               Decoder::Preamble() + Decoder::Progress(10, 2) + Decoder::WriteOutput("RIFFhalf") +
                   "err:\\rbitstream problem: lost sync\\n\nhang\n"};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.BatchState, bsFinished);
    EXPECT_EQ(GlobalVars.FilesFailed, 2);
    EXPECT_TRUE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
}

TEST_P(BatchRun, BitstreamLineSplitAcrossPiecesAndStreamsKeptApart) {
    const std::string a = AddSource("a.mp3");
    GlobalVars.Delete = true;
    // Half the line on standard output, the progress on standard error in between, then the rest.
    Scripts = {Decoder::Preamble() + "out:bitstream pro\n" + "sleep:100\n" + Decoder::Progress(10) +
               Decoder::WriteOutput() + "sleep:100\nout:blem: frame 7\\n\nhang\n"};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    EXPECT_TRUE(FileExists(a));
}

TEST_P(BatchRun, LastLineWithoutLineEndIsReadWhenTheDecoderEnds) {
    AddSource("a.mp3");
    // The header is the decoder's last text, without a line end after it.
    Scripts = {Decoder::Preamble() + Decoder::WriteOutput() + "err:\\rFrame#     1/1      128 kbps\n" +
               Decoder::Exit(0)};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 1);
}

TEST_P(BatchRun, ReadOnlyOutputFailsEveryFileAndTheBatchCompletes) {
    // Outputs that cannot be created: in the chosen folder each name is taken by a folder.
    const std::string out = Dir.MakeDir("out");
    Dir.MakeDir("out/a.wav");
    Dir.MakeDir("out/b.wav");
    GlobalVars.OutDir = out;
    const std::string a = AddSource("a.mp3");
    const std::string b = AddSource("b.mp3");
    Scripts = {Decoder::Good()};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.BatchState, bsFinished);
    EXPECT_EQ(GlobalVars.FilesFailed, 2);
    ExpectRunLog({"An error occurred while trying to decode \"" + a + "\"!",
                  "Reason: the decoder wrote no output file", "",
                  "An error occurred while trying to decode \"" + b + "\"!",
                  "Reason: the decoder wrote no output file", "", "Decoded 0 files in ",
                  "2 files couldn't be decoded,probably wrong format or using with other application."});
}

TEST_P(BatchRun, DecoderThatCannotStartForAFollowingFileFailsIt) {
    const std::string a = AddSource("a.mp3");
    const std::string b = AddSource("b.mp3");
    const std::string c = AddSource("c.mp3");
    Scripts = {Decoder::Good()};
    OnNextFile = [this] { QFile::remove(QString::fromStdString(GlobalVars.DecoderPath)); };
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.BatchState, bsFinished);
    // With two decoders the second file was running already when the decoder went.
    const TLines failed = OneAtATime() ? TLines{"b.mp3", "c.mp3"} : TLines{"c.mp3"};
    EXPECT_EQ(GlobalVars.FilesDecoded, 3 - static_cast<int>(failed.size()));
    EXPECT_EQ(GlobalVars.FilesFailed, static_cast<int>(failed.size()));
    EXPECT_EQ(ListedNames(), failed);
    const std::string reason = "Reason: Error creating process : " + std::to_string(ENOENT);
    EXPECT_EQ(std::count(GlobalVars.RunLog.begin(), GlobalVars.RunLog.end(), reason), std::ssize(failed));
}

TEST_P(BatchRun, ExitWhenDoneClosesOnlyAfterABatchWithoutFailures) {
    Form->show();
    Form->CheckBoxCloseApp->setChecked(true);
    AddSource("a.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Exit(1)};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_TRUE(Form->isVisible());
    Scripts = {Decoder::Good()};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 1);
    EXPECT_TRUE(FileExists(Dir.Path() + "Wavesmith.log"));
    EXPECT_FALSE(Form->isVisible());
}

// A file decoded with damage passed over counts as decoded, but its source stays (Delete on), the
// log names each span under it, and the batch ends as after a failure: asked, and no exit.
TEST_P(BatchRun, DamagePassedOverKeepsTheSourceNamesTheSpansAndIsNeverSilent) {
    Form->show();
    Form->CheckBoxCloseApp->setChecked(true);
    GlobalVars.Delete = true;
    const std::string a = AddSource("a.mp3"), b = AddSource("b.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Progress(10) + "err:\\n\n" +
                   "err:warning: bytes 10 to 20 are no audio\\n\n" +
                   "err:warning: bytes 90 to 99 are no audio\\n\n" + Decoder::WriteOutput() +
                   Decoder::Exit(8),
               Decoder::Good()};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 2);
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_TRUE(FileExists(a) && FileExists(Music("a.wav")) && !FileExists(b));
    const auto& log = GlobalVars.RunLog;
    const auto spans = std::find(log.begin(), log.end(), "Damaged: bytes 10 to 20 are no audio");
    ASSERT_NE(spans, log.end());
    EXPECT_NE(spans[-1].find(a), std::string::npos);
    EXPECT_EQ(spans[1], "Damaged: bytes 90 to 99 are no audio");
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.rfind("Damaged:", 0) == 0; }),
              2);
    EXPECT_EQ(log.back().rfind("One file was decoded with damage passed over", 0), 0u) << log.back();
    EXPECT_EQ(Dialogs.CallsOf(TServiceCall::MessageBox).size(), 1u); // the log question
    EXPECT_TRUE(Form->isVisible());
}

TEST_P(BatchRun, AfterStepsPlayTheSoundAndOpenTheLastOutputFolder) {
    GlobalVars.PlaySound = true;
    GlobalVars.AutoOpen = true;
    AddSource("a.mp3", "x", "one/");
    AddSource("b.mp3", "x", "two/");
    Scripts = {Decoder::Good()};
    // With two decoders the first entry ends last: its folder is the one opened.
    HoldFirstUntilAnEnd();
    Decode();
    const auto sounds = Dialogs.CallsOf(TServiceCall::PlaySound);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0]->Text, Dir.Path() + "complete.wav");
    const auto opened = Dialogs.CallsOf(TServiceCall::ShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->Text, Dir.Path() + (OneAtATime() ? "two/" : "one/"));
}

TEST_P(BatchRun, EmptyFilesTakeTheBatchPercentFromTheCounts) {
    AddSource("a.mp3", "");
    AddSource("b.mp3", "");
    Scripts = {Decoder::Good()};
    HoldFirstUntilAnEnd();
    QString afterFirst;
    OnNextFile = [&, next = OnNextFile] {
        if (afterFirst.isEmpty()) afterFirst = Form->LabelBatch->text();
        next();
    };
    Decode();
    EXPECT_EQ(afterFirst, "50%");
    EXPECT_EQ(GlobalVars.FilesDecoded, 2);
}
