#include "compare/csv_export.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string_view>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"

namespace qvr {
namespace {

// The dialog's first folder: "data" next to the program's folder.
const std::string kDataFolder = platform::kIsWindows ? "..\\data" : "../data";

using testing::ReadFile;
using testing::RecordingMessageBoxHost;
using testing::TempDir;

constexpr const char* kBottomSpec = "Record,0;File,175;Path,415;Datasize,60;Date,130;Status,95";

struct BottomRow {
    const char* file;
    const char* path;
    const char* size;
    const char* date;
    const char* status;
};

ReportTable BottomList(const std::vector<BottomRow>& rows) {
    ReportTable table;
    table.ApplyColumnSpec(kBottomSpec);
    // Whole rows at once, as the report makes them: texts repeated from the
    // row before are kept shared.
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const std::string number = std::to_string(k + 1);
        const std::string_view texts[] = {number, rows[k].file, rows[k].path, rows[k].size, rows[k].date, rows[k].status};
        table.InsertItem(static_cast<int>(k), texts);
    }
    return table;
}

std::string Export(const ReportTable& table, const std::vector<int>& widths) {
    std::ostringstream out;
    WriteCsv(out, table, widths);
    return out.str();
}

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain.cpp", "plain.cpp"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line\r\nbreak\n", "linebreak"},
        {"12-01-2026 10:00:00\n", "12-01-2026 10:00:00"},
        {"x\n,y", "\"x,y\""},
        {"semi;colon 'single'", "semi;colon 'single'"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(CsvField(in), out) << in;
}

// The check looks at eight bytes at a time: a special byte is found at every
// place of a word and of the tail, and near-miss bytes (high ones included)
// never count.
TEST(CsvField, SpecialBytesAreFoundWhereverTheyStand) {
    const std::string nearMisses = "\x2B\x2D\x21\x23\x0B\x0C\x0E\x09\xAC\xA2\x8A\x8D\xFF\x80 x";
    for (std::size_t length = 1; length <= 24; ++length) {
        std::string plain;
        for (std::size_t i = 0; i < length; ++i) plain += nearMisses[i % nearMisses.size()];
        EXPECT_EQ(CsvField(plain), plain) << length;
        for (std::size_t at = 0; at < length; ++at) {
            for (char special : {',', '"', '\r', '\n'}) {
                std::string text = plain;
                text[at] = special;
                EXPECT_NE(CsvField(text), text) << length << " at " << at << " byte " << int(special);
            }
        }
    }
}

TEST(CsvField, LongCellsAreWrittenWhole) {
    const std::string cell(1000, 'x');
    EXPECT_EQ(CsvField(cell), cell);
}

TEST(WriteCsv, BottomListFormatByteForByte) {
    const ReportTable table = BottomList({
        {"main.cpp", "/home/u/src/", "2 KB", "01-02-2026 03:04:05\n", "Diff"},
        {"a,b \"q\".txt", "/home/u/src/", "1 KB", "12-31-2025 23:59:59\n", "New"},
        // Shared texts: with a line break, with a comma, and plain ones.
        {"z.txt", "/home/u/src/", "1 KB", "12-31-2025 23:59:59\n", "Same"},
        {"y.txt", "/home/u/s,rc/", "1 KB", "12-31-2025 23:59:59\n", "Same"},
        {"x.txt", "/home/u/s,rc/", "1 KB", "01-01-2026 00:00:00", "Same"},
        {"w.txt", "/home/u/lib/", "1 KB", "01-01-2026 00:00:00", "Same"},
    });
    ASSERT_TRUE(table.GetStoredRow(5).Shared(2) && table.GetStoredRow(5).Shared(4));
    EXPECT_EQ(Export(table, DeclaredColumnWidths(table)),
              "File,Path,Datasize,Date,Status,\r\n"
              "main.cpp,/home/u/src/,2 KB,01-02-2026 03:04:05,Diff,\r\n"
              "\"a,b \"\"q\"\".txt\",/home/u/src/,1 KB,12-31-2025 23:59:59,New,\r\n"
              "z.txt,/home/u/src/,1 KB,12-31-2025 23:59:59,Same,\r\n"
              "y.txt,\"/home/u/s,rc/\",1 KB,12-31-2025 23:59:59,Same,\r\n"
              "x.txt,\"/home/u/s,rc/\",1 KB,01-01-2026 00:00:00,Same,\r\n"
              "w.txt,/home/u/lib/,1 KB,01-01-2026 00:00:00,Same,\r\n");
}

struct WidthCase {
    const char* name;
    std::vector<int> widths;
    const char* expected;
};

TEST(WriteCsv, NarrowColumnsKeepTheirCommaOnly) {
    const ReportTable table = BottomList({{"f.c", "/p/", "1 KB", "d\n", "Same"}});
    const WidthCase cases[] = {
        {"width 1 leaves Path out", {0, 175, 1, 60, 130, 95},
         "File,,Datasize,Date,Status,\r\nf.c,,1 KB,d,Same,\r\n"},
        {"width 0 leaves Status out", {0, 175, 415, 60, 130, 0},
         "File,Path,Datasize,Date,,\r\nf.c,/p/,1 KB,d,,\r\n"},
        {"width 2 is shown", {0, 2, 415, 60, 130, 95},
         "File,Path,Datasize,Date,Status,\r\nf.c,/p/,1 KB,d,Same,\r\n"},
        {"a widened Record column runs into File", {40, 175, 415, 60, 130, 95},
         "RecordFile,Path,Datasize,Date,Status,\r\n1f.c,/p/,1 KB,d,Same,\r\n"},
        {"missing widths count as closed", {0, 175},
         "File,,,,,\r\nf.c,,,,,\r\n"},
    };
    for (const WidthCase& c : cases) EXPECT_EQ(Export(table, c.widths), c.expected) << c.name;
}

class ExportTest : public ::testing::Test {
protected:
    TempDir dir;
    MemoryProfileStore store;
    RecordingMessageBoxHost host;
    std::vector<std::string> cursor;
    ReportTable table = BottomList({{"a.c", "/p/", "1 KB", "d\n", "New"}});

    int Run(bool top = false) {
        auto waitCursor = [this](bool on) { cursor.push_back(on ? "wait" : "normal"); };
        if (top) return CExportTop(table, DeclaredColumnWidths(table), store, host, waitCursor).WriteCsv();
        return CExportBtm(table, DeclaredColumnWidths(table), store, host, waitCursor).WriteCsv();
    }
};

TEST_F(ExportTest, NothingToExportShowsNothing) {
    table.RemoveAllRows();
    EXPECT_EQ(Run(), 0);
    table.InsertItem(0, "");  // a blank placeholder row on top
    table.InsertItem(1, "7");
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(host.saveRequests.empty());
    EXPECT_TRUE(cursor.empty());
}

TEST_F(ExportTest, CancelledDialogWritesNothing) {
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(host.saveRequests.size(), 1u);
    EXPECT_EQ(host.saveRequests[0].first, kDataFolder);
    EXPECT_EQ(host.saveRequests[0].second, "CSV Files (*.csv)");
    EXPECT_FALSE(store.Has(kSettingsSection, "ExportBtmDirectory"));
    EXPECT_TRUE(cursor.empty());
}

TEST_F(ExportTest, WritesTheFileAndRemembersItsFolderPerList) {
    const std::string path = (dir / "out").string();  // no extension added
    host.saveAnswer = path;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(ReadFile(path), "File,Path,Datasize,Date,Status,\r\na.c,/p/,1 KB,d,New,\r\n");
    EXPECT_EQ(store.GetProfileString(kSettingsSection, "ExportBtmDirectory", ""), dir.Str());
    EXPECT_FALSE(store.Has(kSettingsSection, "ExportTopDirectory"));
    EXPECT_EQ(cursor, (std::vector<std::string>{"wait", "normal"}));

    // The next export opens there; a second export replaces the file.
    table.SetItemText(0, 1, "b.c");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(host.saveRequests.back().first, dir.Str());
    EXPECT_EQ(ReadFile(path), "File,Path,Datasize,Date,Status,\r\nb.c,/p/,1 KB,d,New,\r\n");

    host.saveAnswer = (dir / "top.csv").string();
    EXPECT_EQ(Run(true), 1);
    EXPECT_EQ(host.saveRequests.back().first, kDataFolder);
    EXPECT_EQ(store.GetProfileString(kSettingsSection, "ExportTopDirectory", ""), dir.Str());
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ExportTest, AFileThatCannotBeWrittenIsReportedAndTheFolderKept) {
    const std::string path = (dir / "missing" / "out.csv").string();
    host.saveAnswer = path;
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "The list could not be exported to " + path + ":\nNo such file or directory");
    EXPECT_EQ(host.boxes[0].icon, MbIcon::Exclamation);
    EXPECT_EQ(store.GetProfileString(kSettingsSection, "ExportBtmDirectory", ""), (dir / "missing").string());
    EXPECT_EQ(cursor, (std::vector<std::string>{"wait", "normal"}));

    // A directory in place of the file is refused the same way.
    host.saveAnswer = dir.Str();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(host.boxes.size(), 2u);
}

// A long list is exported on two cores: every line once, in list order, the
// same bytes as one line after the other would give.
TEST(WriteCsv, LongListsKeepEveryLineInOrder) {
    for (int rows : {49'999, 50'000, 120'001}) {
        ReportTable table;
        table.ApplyColumnSpec(kBottomSpec);
        std::string expected = "File,Path,Datasize,Date,Status,\r\n";
        for (int k = 0; k < rows; ++k) {
            const std::string record = std::to_string(k + 1);
            const std::string file = k % 1000 == 7 ? "odd,\"name\".c" : "file" + record + ".c";
            const std::string_view texts[] = {record, file, "/p/", "1 KB", "d\n", "New"};
            table.InsertItem(k, texts);
            expected += CsvField(file) + ",/p/,1 KB,d,New,\r\n";
        }
        // Compared by hand: a failing comparison of megabytes would take the
        // test framework minutes to print.
        const std::string written = Export(table, DeclaredColumnWidths(table));
        const auto [differs, _] = std::mismatch(written.begin(), written.end(), expected.begin(), expected.end());
        const std::size_t at = static_cast<std::size_t>(differs - written.begin());
        EXPECT_TRUE(written == expected) << rows << " rows: first difference at byte " << at << ": \""
                                         << written.substr(at > 40 ? at - 40 : 0, 80) << "\"";
    }
}

// A stream that takes only so many bytes and then fails.
class FailingAfterBuf : public std::streambuf {
public:
    explicit FailingAfterBuf(std::size_t room) : m_room(room) {}
    std::size_t taken = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize count) override {
        const auto wanted = static_cast<std::size_t>(count);
        if (taken + wanted > m_room) return 0;
        taken += wanted;
        return count;
    }
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }

private:
    std::size_t m_room;
};

TEST(WriteCsv, AStreamThatFailsEndsTheExportOfALongList) {
    ReportTable table;
    table.ApplyColumnSpec(kBottomSpec);
    const std::string path(400, 'p');
    for (int k = 0; k < 60'000; ++k) {
        const std::string_view texts[] = {"1", "f.c", path, "1 KB", "d", "New"};
        table.InsertItem(k, texts);
    }
    FailingAfterBuf buffer(3 << 20);
    std::ostream out(&buffer);
    WriteCsv(out, table, DeclaredColumnWidths(table));
    EXPECT_FALSE(out) << "the failure is kept for the caller";
    EXPECT_LE(buffer.taken, std::size_t{3} << 20);
}

TEST(WriteCsvFile, FullDiskIsAFailure) {
    ReportTable table = BottomList({{"a.c", "/p/", "1 KB", "d\n", "New"}});
    int error = 0;
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(WriteCsvFile("/dev/full", table, DeclaredColumnWidths(table), error));
    EXPECT_EQ(error, ENOSPC);
}

#ifndef _WIN32
// A disk that fills up while the list is written (a file size limit stands in
// for it) leaves the old export as it was and nothing beside it, whether the
// list is written line after line or a long one on two threads.
TEST(WriteCsvFile, AFailedWriteLeavesTheOldFileWhole) {
    const std::string name(4096, 'f');
    ReportTable shortList = BottomList({{name.c_str(), "/p/", "1 KB", "d", "New"}});
    ReportTable longList;
    longList.ApplyColumnSpec(kBottomSpec);
    for (int k = 0; k < 60'000; ++k) {
        const std::string_view texts[] = {"1", "f.c", name, "1 KB", "d", "New"};
        longList.InsertItem(k, texts);
    }
    for (const auto& [table, limit] : {std::pair{&shortList, 1024}, std::pair{&longList, 3 << 20}}) {
        SCOPED_TRACE(table->GetItemCount());
        TempDir dir;
        const std::string path = dir.Write("list.csv", "old list\r\n").string();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit fileSize{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            int error = 0;
            ::_exit(WriteCsvFile(path, *table, DeclaredColumnWidths(*table), error) ? 1 : error == EFBIG ? 0 : 2);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure is reported";
        EXPECT_EQ(ReadFile(path), "old list\r\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    }
}
#endif

}  // namespace
}  // namespace qvr
