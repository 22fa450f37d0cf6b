// The source's tags in the WAV file, made at run time by adding tags to a stored file and read back
// with readers of their own (tagtool.py: mutagen for the "id3 " chunk, ffprobe for LIST/INFO).
#include "tests/decoder/decoderprocess.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <ostream>

namespace {

// Debian's own interpreter, where python3-mutagen lives, before any other on the path.
QString Python() {
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

// Runs the tag script; its standard output, or the failure's text.
std::string TagTool(const std::vector<std::string>& args, bool& ok) {
    QStringList arguments{QStringLiteral(WAVESMITH_TAGTOOL)};
    for (const auto& a : args)
        arguments << QString::fromStdString(a);
    QProcess process;
    process.start(Python(), arguments);
    ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
    const std::string out = process.readAllStandardOutput().toStdString();
    return ok ? out : out + process.readAllStandardError().toStdString();
}

std::string DataOf(const std::string& wavBytes) {
    const TWavInfo wav = ReadWav(wavBytes);
    return wavBytes.substr(wav.DataOffset, wav.DataBytes);
}

struct TTagCase {
    const char* Name;
    const char* Kind;                 // how tagtool.py tags the stored file
    std::vector<std::string> Options; // "@" stands for --decode <in> <out>
    bool Tagged;                      // an INFO list and an id3 chunk follow the audio
    const char* Warning;              // part of the warning line, or "" for none
    const char* Read;                 // what the readers find
};

void PrintTo(const TTagCase& value, std::ostream* out) {
    *out << value.Name;
}

// clang-format off
const TTagCase Cases[] = {
    {"Id3v23TextAndPicture", "v23", {"@"}, true, "",
     "id3 2.3, the source's bytes, the source's fields\nAPIC image/jpeg type 3\nCOMM=Comment\nTALB=Album\nTCON=Rock\nTDRC=2024\n"
     "TIT2=Title\nTPE1=Artist\nTRCK=3/12\ninfo album=Album\ninfo artist=Artist\ninfo comment=Comment\n"
     "info date=2024\ninfo genre=Rock\ninfo title=Title\ninfo track=3\n"},
    // INFO in UTF-8, as ffprobe reads it.
    {"Id3v24Utf8", "v24", {"@"}, true, "",
     "id3 2.4, the source's bytes, the source's fields\nTALB=Albüm\nTIT2=Grüße – 日本の歌\nTPE1=Ærtist\n"
     "TRCK=1\ninfo album=Albüm\ninfo artist=Ærtist\ninfo title=Grüße – 日本の歌\ninfo track=1\n"},
    {"Id3v22KeptAsItIs", "v22", {"@"}, true, "",
     "id3 2.2, the source's bytes, the source's fields\nTDRC=1987-05-17\nTEXT=Lyricist\nTIT2=Old form\n"
     "TOPE=First artist\nTPE1=Artist\ninfo artist=Artist\ninfo date=1987\ninfo title=Old form\n"},
    // TagLib misreads extended headers; the tag is still copied as it is and its fields read right.
    {"Id3v23ExtendedHeaderWithCrc", "v23ext", {"@"}, true, "",
     "id3 2.3, the source's bytes, the source's fields\nTIT2=Extended\nTPE1=Artist\nTRCK=4\n"
     "info artist=Artist\ninfo title=Extended\ninfo track=4\n"},
    {"Id3v24ExtendedHeaderWithoutPadding", "v24ext", {"@"}, true, "",
     "id3 2.4, the source's bytes, the source's fields\nTIT2=Extended\nTPE1=Artist\nTRCK=4\n"
     "info artist=Artist\ninfo title=Extended\ninfo track=4\n"},
    {"StackedId3v2Tags", "stacked", {"@"}, true, "holds a second ID3v2 tag after the first",
     "id3 2.3, the source's bytes, the source's fields\nTIT2=First\nTPE1=Artist\nTRCK=4\n"
     "info artist=Artist\ninfo title=First\ninfo track=4\n"},
    {"Id3v2FrameRunsPastTheTag", "overrun", {"@"}, false, "holds a frame that runs past its end", "id3 none\n"},
    {"Id3v1Only", "v1", {"@"}, true, "",
     "id3 2.4\nTALB=Old album\nTDRC=1999\nTIT2=Old title\nTPE1=Old artist\nTRCK=7\ninfo album=Old album\n"
     "info artist=Old artist\ninfo date=1999\ninfo title=Old title\ninfo track=7\n"},
    {"Id3v1OfBlanks", "v1blank", {"@"}, true, "", "id3 2.4\nTCON=Classical\ninfo genre=Classical\n"},
    {"Apev2WithCover", "ape", {"@"}, true, "",
     "id3 2.4\nAPIC image/jpeg type 3\nTIT2=Ape title\nTPE1=Ape artist\nTRCK=5\ninfo artist=Ape artist\n"
     "info title=Ape title\ninfo track=5\n"},
    // The damaged ID3v2 tag goes; the ID3v1 tag behind the audio still counts.
    {"DamagedId3v2", "damaged", {"@"}, true, "ID3v2 tag of input file",
     "id3 2.4\nTALB=Old album\nTDRC=1999\nTIT2=Old title\nTPE1=Old artist\nTRCK=7\ninfo album=Old album\n"
     "info artist=Old artist\ninfo date=1999\ninfo title=Old title\ninfo track=7\n"},
    // Two tags with other values: each INFO field from the first tag that has it, ID3v2 before
    // APEv2 before ID3v1; the ID3v2 tag goes whole, else one is built from the other two.
    {"Id3v23AndId3v1", "v23v1", {"@"}, true, "",
     "id3 2.3, the source's bytes\nTIT2=V2 title\nTPE1=V2 artist\ninfo album=V1 album\ninfo artist=V2 artist\n"
     "info date=1988\ninfo genre=Rock\ninfo title=V2 title\ninfo track=9\n"},
    {"Apev2AndId3v1", "apev1", {"@"}, true, "",
     "id3 2.4\nTALB=V1 album\nTCON=Rock\nTDRC=1988\nTIT2=Ape title\nTPE1=V1 artist\nTRCK=5\n"
     "info album=V1 album\ninfo artist=V1 artist\ninfo date=1988\ninfo genre=Rock\ninfo title=Ape title\n"
     "info track=5\n"},
    // Not at the file's start, the tag is written anew from what was read of it.
    {"Id3v2AfterJunk", "junkv23", {"@"}, true, "", "id3 2.4\nTIT2=After junk\ninfo title=After junk\n"},
    {"DamagedApev2", "apedamaged", {"@"}, false, "APEv2 tag of input file", "id3 none\n"},
    {"Id3v2Over16MiB", "oversize", {"@"}, false, "larger than 16 MiB", "id3 none\n"},
    {"NoTags", "none", {"@"}, false, "", "id3 none\n"},
    {"NoTagsOption", "v23", {"--no-tags", "--threads", "2", "@"}, false, "", "id3 none\n"},
};
// clang-format on

class DecodeTags : public ::testing::TestWithParam<TTagCase> {};

} // namespace

TEST_P(DecodeTags, ReadersFindTheSourceTagsAfterTheSameAudio) {
    const TTagCase& c = GetParam();
    TTempDir dir;
    const std::string plain = dir.Path() + "plain.wav";
    ASSERT_EQ(RunDecoder({"--decode", FixturePath("cbr_stereo_44k.mp3"), plain, "--no-tags"}).ExitCode, 0);

    bool ok = false;
    const std::string in = dir.Path() + "in.mp3", out = dir.Path() + "out.wav";
    const std::string made =
        TagTool({"make", c.Kind, FixturePath("cbr_stereo_44k.mp3"), in, FixturePath("picture.jpg")}, ok);
    ASSERT_TRUE(ok) << made;
    std::vector<std::string> args;
    for (const std::string& option : c.Options)
        if (option == "@")
            args.insert(args.end(), {"--decode", in, out});
        else
            args.push_back(option);
    const TDecoderRun run = RunDecoder(args);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err.find("warning: ") != std::string::npos, *c.Warning != '\0') << run.Err;
    EXPECT_NE(run.Err.find(c.Warning), std::string::npos) << run.Err;

    const std::string bytes = ReadWholeFile(out);
    const TWavInfo wav = ReadWav(bytes);
    ASSERT_TRUE(wav.Valid) << wav.Problem;
    EXPECT_EQ(wav.DataOffset, 44u) << "the audio starts where a 44-byte header ends";
    const std::vector<std::string> tagChunks{"LIST", "id3 "};
    EXPECT_EQ(wav.ChunksAfterData, c.Tagged ? tagChunks : std::vector<std::string>{});
    EXPECT_TRUE(DataOf(bytes) == DataOf(ReadWholeFile(plain)))
        << "the audio differs from the untagged decode";
    if (!c.Tagged) {
        EXPECT_TRUE(bytes == ReadWholeFile(plain)) << "not the plain file";
    }

    const std::string picture = dir.Path() + "picture";
    EXPECT_EQ(TagTool({"read", out, in, picture}, ok), c.Read);
    if (std::string(c.Read).find("APIC") != std::string::npos) {
        EXPECT_TRUE(ReadWholeFile(picture) == ReadWholeFile(FixturePath("picture.jpg"))) << "picture differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DecodeTags, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });
