// The file list's model and its free functions: size texts, look-ups, bulk removal, moves, sorting,
// and the saved list's file format.
#include "filelist/filelistmodel.h"
#include "filelist/savedlist.h"
#include "settings/errors.h"
#include "tests/support/tempdir.h"

#include <QDir>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLocale>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class TEnglishLocale {
public:
    TEnglishLocale() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    ~TEnglishLocale() { QLocale::setDefault(FPrevious); }

private:
    QLocale FPrevious;
};

TFileItem Entry(const std::string& path, const std::string& name, int64_t size = 0, TDateTime date = 0) {
    TFileItem item;
    item.Path = path;
    item.FileName = name;
    item.Size = size;
    item.Date = date;
    return item;
}

std::vector<std::string> Names(const TFileListModel& model) {
    std::vector<std::string> names;
    for (int row = 0; row < model.Count(); ++row)
        names.push_back(model.Item(row).FileName);
    return names;
}

void Fill(TFileListModel& model, int count) {
    for (int i = 0; i < count; ++i)
        model.Append(Entry("/m/", "f" + std::to_string(i) + ".mp3", i));
}

} // namespace

TEST(FileListSizeText, UsesUnitsOfThousandWithLocaleSeparators) {
    TEnglishLocale english;
    EXPECT_EQ(FormatSizeText(0), "0");
    EXPECT_EQ(FormatSizeText(1000), "1000");
    EXPECT_EQ(FormatSizeText(1001), "1.00K");
    EXPECT_EQ(FormatSizeText(1'000'000), "1,000.00K");
    EXPECT_EQ(FormatSizeText(1'000'001), "1.00M");
    EXPECT_EQ(FormatSizeText(1'000'000'000), "1,000.00M");
    EXPECT_EQ(FormatSizeText(1'500'000'000), "1.50G");
    EXPECT_EQ(FormatSizeText(2'147'483'648LL), "2.15G");
    EXPECT_EQ(FormatSizeText(-1), "-1");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatSizeText(1'000'000), "1.000,00K");
}

TEST(FileListModel, FindsByFullPathAsTheFileSystemComparesNames) {
    TFileListModel model;
    model.Append(Entry("/music/", "Song.mp3"));
    model.Append(Entry("/Music/", "Song.mp3"));
    EXPECT_EQ(model.Find("/music/Song.mp3"), 0);
    EXPECT_EQ(model.Find("/Music/Song.mp3"), 1);
    EXPECT_EQ(model.Find("/music/Other.mp3"), -1);
#ifdef _WIN32
    EXPECT_EQ(model.Find("/MUSIC/song.MP3"), 0);
#else
    EXPECT_EQ(model.Find("/music/song.mp3"), -1);
#endif
}

TEST(FileListModel, BulkRemovalKeepsOrderIndexAndCountsEveryEntry) {
    for (const int step : {1, 2}) { // contiguous rows, then every other row (many separate runs)
        SCOPED_TRACE(step);
        TFileListModel model;
        Fill(model, 100);
        QSignalSpy deleted(&model, &TFileListModel::EntryDeleted);
        std::vector<int> rows;
        for (int row = 99; row >= 40; row -= step)
            rows.push_back(row);
        rows.push_back(rows.front()); // a repeated row counts once
        model.RemoveRows(rows);
        const int removed = static_cast<int>(rows.size()) - 1;
        EXPECT_EQ(deleted.count(), removed);
        ASSERT_EQ(model.Count(), 100 - removed);
        EXPECT_EQ(model.Item(39).FileName, "f39.mp3");
        if (step == 2) {
            EXPECT_EQ(model.Item(40).FileName, "f40.mp3"); // 40 was not in the every-other-row set
            EXPECT_EQ(model.Find("/m/f42.mp3"), 41);
            EXPECT_EQ(model.Find("/m/f41.mp3"), -1);
        }
        EXPECT_EQ(model.Find("/m/f99.mp3"), -1);
        EXPECT_EQ(model.Find("/m/f10.mp3"), 10);
    }
}

// What a batch does per file: find the top entry by its path, then remove it or move it to the
// bottom. Neither may cost the list's length, in the list or in the views.
TEST(FileListModel, BatchChangesAtTheTopAndBottomCostTheSameAtAnyLength) {
    TFileListModel model;
    Fill(model, 100000);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    const uint64_t before = model.Work();
    for (int i = 0; i < 10000; ++i) {
        const int row = model.Find(model.Item(0).FullPath());
        if (i % 5 == 4)
            model.Move(row, model.Count());
        else
            model.Remove(row);
        ASSERT_EQ(row, 0);
    }
    // A few rows looked at per change; one pass over the list would be 100,000.
    EXPECT_LT(model.Work() - before, 10000u * 8);
    EXPECT_EQ(resets.count() + layouts.count(), 0);
    EXPECT_EQ(model.Count(), 92000);
    EXPECT_EQ(model.Find("/m/f10000.mp3"), 0);
    EXPECT_EQ(model.Find("/m/f4.mp3"), model.Count() - 2000);
}

TEST(FileListModel, MoveLandsInFrontOfTheTargetAndReportsTheRemovalHalf) {
    TFileListModel model;
    for (const char* name : {"a", "b", "c", "d"})
        model.Append(Entry("/", name));
    QSignalSpy deleted(&model, &TFileListModel::EntryDeleted);
    model.Move(0, 3);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"b", "c", "a", "d"}));
    model.Move(3, 0);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"d", "b", "c", "a"}));
    model.Move(1, 4);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"d", "c", "a", "b"}));
    EXPECT_EQ(deleted.count(), 3);
    model.Move(2, 2);
    model.Move(2, 3);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"d", "c", "a", "b"}));
    EXPECT_EQ(deleted.count(), 3);
    EXPECT_EQ(model.Find("/a"), 2);
    EXPECT_EQ(model.Find("/d"), 0);
}

TEST(FileListModel, SortsBySizeBothWaysAndByPathThenName) {
    TFileListModel model;
    model.Append(Entry("/b/", "y.mp3", 30));
    model.Append(Entry("/a/", "z.mp3", 5));
    model.Append(Entry("/b/", "x.mp3", 1'000'000'000'000LL));
    model.Append(Entry("/a/", "w.mp3", 200));
    QItemSelectionModel selection(&model);
    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    model.SortBy(TFileListModel::colSize, true);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"z.mp3", "y.mp3", "w.mp3", "x.mp3"}));
    EXPECT_TRUE(selection.isRowSelected(0)); // the selection follows its entry
    model.SortBy(TFileListModel::colSize, false);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"x.mp3", "w.mp3", "y.mp3", "z.mp3"}));
    EXPECT_TRUE(selection.isRowSelected(3));
    model.SortBy(TFileListModel::colPath, true);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"w.mp3", "z.mp3", "x.mp3", "y.mp3"}));
    EXPECT_EQ(model.Find("/b/y.mp3"), 3);
    model.SortBy(TFileListModel::colFileName, false);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"z.mp3", "y.mp3", "x.mp3", "w.mp3"}));
}

TEST(FileListModel, SortsDatesAtTheirDisplayedPrecision) {
    // Dates are shown in the system locale's short format: to the minute, or to the second.
    const bool seconds = QLocale::system().timeFormat(QLocale::ShortFormat).contains('s');
    const TDateTime step = (seconds ? 1.0 : 60.0) / 86400;
    const TDateTime base = 45000 + 10.0 / 24; // 10:00
    TFileListModel model;
    model.Append(Entry("/", "late-same-step", 0, base + step * 0.8));
    model.Append(Entry("/", "early-same-step", 0, base + step * 0.2));
    model.Append(Entry("/", "previous-step", 0, base - step * 0.5));
    model.Append(Entry("/", "next-day", 0, base + 1));
    model.SortBy(TFileListModel::colDate, true);
    EXPECT_EQ(Names(model),
              (std::vector<std::string>{"previous-step", "late-same-step", "early-same-step", "next-day"}));
    model.SortBy(TFileListModel::colDate, false);
    EXPECT_EQ(Names(model),
              (std::vector<std::string>{"next-day", "late-same-step", "early-same-step", "previous-step"}));
}

TEST(FileListModel, ShowsTextsAlignmentAndCaptions) {
    TEnglishLocale english;
    TFileListModel model;
    model.Append(Entry("/music/", "a.mp3", 1'500'000));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "a.mp3");
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "/music/");
    EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), "1.50M");
    EXPECT_EQ(model.data(model.index(0, 3), Qt::DisplayRole).toString().toStdString(),
              FormatShortDateTime(0));
    EXPECT_TRUE(model.data(model.index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    // The folder whole in its tip; the entry named by its name and folder, as a row and in its name cell.
    EXPECT_EQ(model.data(model.index(0, 1), Qt::ToolTipRole).toString(), "/music/");
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
    EXPECT_EQ(model.data(model.index(0, 0), Qt::AccessibleTextRole).toString(), "a.mp3, /music/");
    EXPECT_FALSE(model.data(model.index(0, 3), Qt::AccessibleTextRole).isValid())
        << "the date reads as shown";
    EXPECT_EQ(model.headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), "a.mp3, /music/");
    EXPECT_FALSE(model.headerData(1, Qt::Vertical, Qt::DisplayRole).isValid());
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    QStringList captions;
    for (int column = 0; column < model.columnCount(); ++column)
        captions << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(captions, (QStringList{"MP3 File", "Path", "Size", "Date"}));

    // Names that are not UTF-8 read as the older 8-bit text they are; the entry keeps its bytes.
    const std::pair<std::string, const char*> names[] = {
        {"caf\xC3\xA9.mp3", "café.mp3"},                 // valid UTF-8 as it is
        {"caf\xE9.mp3", "café.mp3"},                     // Latin-1
        {"\x92n \x80.mp3", "’n €.mp3"},                  // Windows-1252's quotes and euro
        {"\xED\xA0\x80.mp3", "í\u00A0€.mp3"},            // an encoded surrogate is no UTF-8
        {"\xF0\x9F\x8E\xB5 caf\xC3", "\U0001F3B5 cafÃ"}, // a sequence cut short at the end
        {"a\xE2\x82", "aâ‚"},                            // cut short by two of three bytes
        // The shortest and longest forms of each length are UTF-8; overlong forms and code points
        // past U+10FFFF are not.
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF", "\u0080\u07FF\u0800\uD7FF"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\U00010000\U0010FFFF"},
        {"\xC0\xAF\xC1\xBF", "À¯Á¿"},
        {"\xE0\x9F\xBF", "àŸ¿"},
        {"\xF0\x8F\xBF\xBF", "ð\u008F¿¿"},
        {"\xF4\x90\x80\x80", "ô\u0090€€"},
        {"\xF5\x80\x80\x80", "õ€€€"},
        {"\xE2\x82\x28\xF0\x90\x80\x28", "â‚(ð\u0090€("}, // a last byte that continues nothing
    };
    for (const auto& [bytes, shown] : names) {
        model.Append(Entry("/m\xFCsik/", bytes));
        const int row = model.Count() - 1;
        EXPECT_EQ(model.data(model.index(row, 0), Qt::DisplayRole).toString(), QString::fromUtf8(shown))
            << bytes;
        EXPECT_EQ(model.data(model.index(row, 1), Qt::DisplayRole).toString(), QString::fromUtf8("/müsik/"));
        EXPECT_EQ(model.Item(row).FullPath(), "/m\xFCsik/" + bytes);
    }

    // Icons go by extension; a first name that is not valid text leaves the others theirs.
    TTempDir dir;
    TFileListModel files;
    for (const std::string name : {"caf\xE9.mp3", "b.mp3"}) {
        dir.WriteFile(name, "ID3");
        files.Append(Entry(dir.Path(), name));
    }
    for (int row = 0; row < files.Count(); ++row)
        EXPECT_FALSE(files.data(files.index(row, 0), Qt::DecorationRole).value<QIcon>().isNull()) << row;
}

TEST(SavedListFile, EndsEveryLineWithCrLfAndReplacesTheWholeFile) {
    TTempDir dir;
    const std::string path = dir.WriteFile("list.lst", "old contents that are longer than the new ones\r\n");
    WriteLinesFile(path, {"/m/a.mp3", "/m/b c.mp3"});
    EXPECT_EQ(dir.ReadFile("list.lst"), "/m/a.mp3\r\n/m/b c.mp3\r\n");
    WriteLinesFile(path, {});
    EXPECT_EQ(dir.ReadFile("list.lst"), "");
    EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file is left behind";
}

TEST(SavedListFile, FailureRaisesCannotCreateAndKeepsTheOldFile) {
    TTempDir dir;
    // A folder that does not exist, and a target that is a folder, fail for every user.
    const std::string missing = dir.Path() + "missing/list.lst";
    try {
        WriteLinesFile(missing, {"x"});
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + missing);
    }
    const std::string folder = dir.MakeDir("taken.lst");
    const std::string target = folder.substr(0, folder.size() - 1);
    EXPECT_THROW(WriteLinesFile(target, {"x"}), EFCreateError);
    EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST(SavedListFile, ReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "a read-only folder does not stop the superuser";
    TTempDir dir;
    const std::string readOnly = dir.MakeDir("ro");
    const std::string kept = dir.WriteFile("ro/list.lst", "kept\r\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);
    EXPECT_THROW(WriteLinesFile(kept, {"new"}), EFCreateError);
    ::chmod(readOnly.c_str(), 0755);
    EXPECT_EQ(dir.ReadFile("ro/list.lst"), "kept\r\n");
}

TEST(SavedListFile, ReadsLinesEndedByCrLfOrCrOrLf) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(SplitLines("").empty());
    TTempDir dir;
    const std::string path = dir.WriteFile("x.lst", std::string("one\r\ntw\0o\rthree", 15));
    EXPECT_EQ(ReadLinesFile(path), (std::vector<std::string>{"one", std::string("tw\0o", 4), "three"}));
    try {
        ReadLinesFile(dir.Path() + "none.lst");
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "File not found");
    }
}
