#include "compare/classifier.h"

#include <chrono>
#include <ctime>
#include <limits>

#include "app/busy_flags.h"
#include "app/path.h"
#include "app/platform.h"
#include "app/trace.h"
#include "compare/file_compare.h"
#include "compare/file_scan.h"
#include "compare/wildcard.h"

namespace qvr {
namespace {

constexpr const char* kSignatureFile = "quorvan.sig";
// Top List columns a Missing row takes its size and date from.
constexpr int kTopDatasizeColumn = 5;
constexpr int kTopModifiedDateColumn = 10;
// Files scanned ahead of the oldest one not yet listed: enough to keep every
// compare thread busy, few enough that memory stays flat on any tree.
constexpr std::size_t kFilesAhead = 256;
// How long a wait for a compare goes without pumping the messages.
constexpr std::chrono::milliseconds kPumpInterval{10};

// Where the platforms differ in how a scanned path meets a repository path.
namespace mapping {

// The local path as the keys take it: a trailing separator belongs to no
// name, so "D:\src\" and "D:\src" give the same keys.
std::string_view WithoutTrailingSeparator(std::string_view localPath) {
    const auto isSeparator = [](char c) {
        return c == platform::kSeparator || (platform::kIsWindows && platform::IsSeparator(c));
    };
    while (!localPath.empty() && isSeparator(localPath.back())) localPath.remove_suffix(1);
    return localPath;
}

// The local path removed from the scanned path. The home platform removes
// every occurrence of the text; elsewhere only where it starts the path, so
// a folder name repeated deeper down stays part of the key.
std::string WithoutLocalPath(const std::string& path, std::string_view localPath) {
    localPath = WithoutTrailingSeparator(localPath);
    if (localPath.empty()) return path;
    if constexpr (platform::kIsWindows) {
        std::string out;
        std::size_t from = 0;
        for (std::size_t at; (at = path.find(localPath, from)) != std::string::npos;) {
            out.append(path, from, at - from);
            from = at + localPath.size();
        }
        out.append(path, from, std::string::npos);
        return out;
    } else {
        return path.starts_with(localPath) ? path.substr(localPath.size()) : path;
    }
}

// Repository keys use the repository's backslashes.
std::string ToRepositorySeparators(std::string key) {
    if constexpr (!platform::kIsWindows) {
        for (char& c : key) {
            if (c == '/') c = '\\';
        }
    }
    return key;
}

std::string TempDirectory(const std::string& tempPath) {
    if (!tempPath.empty() && tempPath.back() == platform::kSeparator) {
        return tempPath.substr(0, tempPath.size() - 1);
    }
    return tempPath;
}

// The copy's path below the temp directory. The home platform uses the
// upper-cased key as it is (its file names ignore case); elsewhere the
// repository's own letter case is kept and its backslashes become folder
// separators, with no empty folder names in between.
void AppendCopyRelativePath(std::string& out, const ReportTable& top, int row) {
    if constexpr (platform::kIsWindows) {
        std::string key = RepositoryKeyOf(top, row);
        if (!key.empty() && key.front() == '\\') key.erase(0, 1);
        out += key;
    } else {
        const std::size_t start = out.size();
        // Whole names at a time: a separator is written only after a name.
        const auto append = [&](std::string_view part) {
            std::size_t nameAt = 0;
            for (std::size_t i = 0; i <= part.size(); ++i) {
                if (i < part.size() && part[i] != '\\' && part[i] != '/') continue;
                out.append(part, nameAt, i - nameAt);
                if (i < part.size() && out.size() != start && out.back() != '/') out += '/';
                nameAt = i + 1;
            }
        };
        append(top.GetItemText(row, 2));
        if (out.size() != start && out.back() != '/') out += '/';
        append(top.GetItemText(row, 1));
    }
}

// The scanned path as the compare opens it: a leading backslash is dropped
// on the home platform, where it can only be a stray one; elsewhere it is
// the path itself.
std::string LocalFileForCompare(const std::string& path) {
    if constexpr (platform::kIsWindows) {
        if (!path.empty() && path.front() == '\\') return path.substr(1);
    }
    return path;
}

// The scanned path's folder (with its separator) and name, as CPath parses
// them. The name is taken from the path itself: a name ending in a dot is a
// different file from the one without it here. Every scanned file comes this
// way, so a plain path is split without the full parse.
void SplitScannedPath(const std::string& path, std::string& directory, std::string& name) {
    if constexpr (!platform::kIsWindows) {
        const bool quoted = path.size() >= 2 && path.front() == '"' && path.back() == '"';
        if (!quoted) {
            const std::size_t slash = path.rfind('/');
            const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
            directory.assign(path, 0, nameAt);
            name.assign(path, nameAt, std::string::npos);
            return;
        }
    }
    const CPath parsed(path);
    directory = parsed.GetLocation();
    name = path.starts_with(directory) ? path.substr(directory.size()) : parsed.GetFileName();
}

}  // namespace mapping

// Appends value in at least width digits, with leading zeros. Called for
// every listed file, so it avoids the formatted-print machinery.
void AppendPadded(std::string& out, int value, int width) {
    char digits[16];
    int count = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) out += '-';
    for (int i = count; i < width; ++i) out += '0';
    while (count > 0) out += digits[--count];
}

// "%04d": the record format of four digits with leading zeros.
std::string RecordNumber(int number) {
    std::string text;
    AppendPadded(text, number, 4);
    return text;
}

}  // namespace

std::string FormatDatasize(std::int64_t size) {
    if (size <= 0) return "0 KB";
    if (size <= 1024) return "1 KB";
    return std::to_string(size / 1024 + 1) + " KB";
}

std::string FormatLocalDate(std::int64_t time) {
    const std::time_t when = static_cast<std::time_t>(time);
    std::tm local {};
    if (!platform::ToLocalTime(when, local)) return std::string();
    // "%.2d-%.2d-%4d %.2d:%.2d:%.2d\n": month, day, year, hour, minute, second.
    std::string text;
    text.reserve(20);
    AppendPadded(text, local.tm_mon + 1, 2);
    text += '-';
    AppendPadded(text, local.tm_mday, 2);
    text += '-';
    const std::size_t yearAt = text.size();
    AppendPadded(text, local.tm_year + 1900, 1);
    const std::size_t yearDigits = text.size() - yearAt;
    if (yearDigits < 4) text.insert(yearAt, 4 - yearDigits, ' ');
    text += ' ';
    AppendPadded(text, local.tm_hour, 2);
    text += ':';
    AppendPadded(text, local.tm_min, 2);
    text += ':';
    AppendPadded(text, local.tm_sec, 2);
    text += '\n';
    return text;
}

Classifier::Classifier(ReportTable& top, ReportTable& bottom, const ScmContext& context,
                       const DisplayOptions& display, IMessagePump& pump)
    : m_top(top), m_bottom(bottom), m_context(context), m_display(display), m_pump(pump) {}

Classifier::~Classifier() { AbandonPendingFiles(); }

void Classifier::SetCompareThreads(int count) {
    AbandonPendingFiles();
    m_pipeline = count > 0 ? std::make_unique<ComparePipeline>(count) : nullptr;
}

void Classifier::FinishPendingFiles() { ListFinishedFiles(0); }

void Classifier::AbandonPendingFiles() {
    if (m_pipeline) m_pipeline->Stop();
    m_pendingFiles.clear();
}

void Classifier::ListFinishedFiles(std::size_t keepAtMost) {
    while (!m_pendingFiles.empty()) {
        const PendingFile& file = m_pendingFiles.front();
        if (file.compared) {
            CompareOutcome outcome;
            if (!m_pipeline->TakeOldest(outcome, std::chrono::milliseconds{0})) {
                if (m_pendingFiles.size() <= keepAtMost) return;
                // Waits for a batch, down to half of what may be queued, so
                // the scan and the compares each run a while between switches.
                m_pipeline->WaitForOldest(m_pendingFiles.size() - keepAtMost / 2, kPumpInterval);
                // The window goes on repainting and can cancel while a
                // long compare runs.
                m_pump.PumpMessages();
                if (!g_reportInProgress) {
                    AbandonPendingFiles();
                    g_scanStop = 1;
                    return;
                }
                continue;
            }
            if (outcome.error && LeftOutAsVanished(*outcome.error, file.directory + file.name)) {
                m_pendingFiles.pop_front();
                continue;
            }
            if (outcome.error) {
                const CFileException error = *outcome.error;
                AbandonPendingFiles();
                throw error;
            }
            ListComparedFile(file, outcome);
        } else {
            AddRow({file.name, file.directory, CountFilledRows(m_bottom) + 1, "New", kNewColor, nullptr});
        }
        m_pendingFiles.pop_front();
    }
}

void Classifier::ListComparedFile(const PendingFile& file, const CompareOutcome& outcome) {
    const int recordNumber = CountFilledRows(m_bottom) + 1;
    if (outcome.same && file.showSame) {
        AddRow({file.name, file.directory, recordNumber, "Same", kSameColor, &outcome.secondStatus});
    }
    if (!outcome.same && file.showDiff) {
        AddRow({file.name, file.directory, recordNumber, "Diff", kDiffColor, &outcome.secondStatus});
    }
}

void Classifier::DigestLocalFiles(const CFileScan& scanner, std::vector<LocalDigest>& digests,
                                  const std::atomic<bool>& stop) {
    digests.assign(static_cast<std::size_t>(scanner.PathCount()), LocalDigest{{kDigestUnknown, 0}, 0, 0});
    DirectoryHandles directories;
    const std::string* lastFolder = nullptr;
    for (int i = 0; i < scanner.PathCount() && !stop.load(std::memory_order_relaxed); ++i) {
        const std::string& folder = scanner.FolderTextAt(i);
        if (&folder != lastFolder) directories.Forget();
        lastFolder = &folder;
        std::string path = folder;
        path += scanner.NameAt(i);
        DigestLocalFile(mapping::LocalFileForCompare(path), digests[static_cast<std::size_t>(i)], &directories);
    }
    directories.Forget();
}

void Classifier::ClassifyLocalFile(const std::string& path, const LocalDigest* digest) {
    m_pump.PumpMessages();
    if (!g_reportInProgress) {
        g_scanStop = 1;
        return;
    }
    std::string directory;
    std::string name;
    mapping::SplitScannedPath(path, directory, name);
    const int recordNumber = CountFilledRows(m_bottom) + 1;
    if (name.find(kSignatureFile) != std::string::npos) return;

    const bool showNew = m_display.showNewFiles != 0;
    const bool showSame = m_display.showSameFiles != 0;
    const bool showDiff = m_display.showDiffFiles != 0;
    if (!showNew && !showSame && !showDiff) return;

    const int counterpart = CounterpartOf(path);
    if (counterpart < 0 && showNew) NoteNameElsewhere(path);
    if (m_pipeline) {
        if (counterpart < 0 && !showNew) return;
        if (counterpart >= 0 && !showSame && !showDiff) return;
        const bool compared = counterpart >= 0;
        if (compared) {
            m_pipeline->Submit(CopyPathFor(counterpart), mapping::LocalFileForCompare(path), m_folderLevel, digest);
        }
        m_pendingFiles.push_back({name, directory, compared, showSame, showDiff});
        ListFinishedFiles(kFilesAhead);
        return;
    }
    if (counterpart < 0) {
        if (showNew) AddRow({name, directory, recordNumber, "New", kNewColor, nullptr});
        return;
    }
    if (!showSame && !showDiff) return;
    // One compare serves both the Same and the Diff test.
    FileStatus status;
    bool same = false;
    try {
        same = CopyMatchesDigest(CopyPathFor(counterpart), mapping::LocalFileForCompare(path), digest, status,
                                 &m_directories) == 1;
    } catch (const CFileException& error) {
        if (LeftOutAsVanished(error, path)) return;
        throw;
    }
    if (same && showSame) AddRow({name, directory, recordNumber, "Same", kSameColor, &status});
    if (!same && showDiff) AddRow({name, directory, recordNumber, "Diff", kDiffColor, &status});
}

// A local file deleted between the scan and its compare is no longer part of
// the tree: it is left out, with a trace line, instead of ending the report.
bool Classifier::LeftOutAsVanished(const CFileException& error, const std::string& scannedPath) {
    if (error.Cause() != CFileException::fileNotFound) return false;
    if (error.FileName() != mapping::LocalFileForCompare(scannedPath)) return false;
    if (m_trace) m_trace->WriteTraceLine("Classifier: local file vanished before its compare, left out: " + scannedPath);
    return true;
}

std::string Classifier::LocalKey(const std::string& path) const {
    return platform::UpperAscii(LocalKeyInOwnCase(path));
}

std::string Classifier::LocalKeyInOwnCase(const std::string& path) const {
    return mapping::ToRepositorySeparators(mapping::WithoutLocalPath(path, m_context.localPath));
}

int Classifier::FindCounterpart(const std::string& localKey) {
    if (m_rule.IsPrepared()) {
        // A sort of the Top List moves the rows, never the rule's folder.
        m_rule.Refresh(m_top);
        return m_rule.CounterpartOf(localKey);
    }
    if (!m_index.IsCurrentFor(m_top)) m_index.Build(m_top);
    return m_index.FindCounterpart(localKey);
}

int Classifier::FindCounterpartNow(const std::string& localKey) {
    if (m_rule.IsPrepared()) return FindCounterpart(localKey);
    return m_index.FindCounterpartNow(m_top, localKey);
}

void Classifier::PrepareCounterparts(const CFileScan& scanner, const std::optional<std::string>& namedFolder) {
    PrepareCounterpartsInto(m_rule, m_top, scanner, namedFolder);
}

void Classifier::PrepareCounterpartsInto(CounterpartRule& rule, const ReportTable& top, const CFileScan& scanner,
                                         const std::optional<std::string>& namedFolder) const {
    // The keys are made one at a time as the rule takes them: a list of a
    // large tree's keys would cost more than the rule keeps of them. A
    // key's last name is never longer than the file's name.
    CounterpartRule::LocalKeySource keys;
    keys.count = static_cast<std::size_t>(scanner.PathCount());
    for (int i = 0; i < scanner.PathCount(); ++i) keys.nameBytes += scanner.NameAt(i).size();
    keys.keyAt = [this, &scanner](std::size_t i, std::string& buffer) {
        buffer = LocalKeyInOwnCase(scanner.PathTextAt(static_cast<int>(i)));
        return std::string_view(buffer);
    };
    rule.Prepare(top, keys, namedFolder);
}

void Classifier::AdoptCounterparts(CounterpartRule&& rule, std::uint64_t textChangeCount) {
    m_rule = std::move(rule);
    m_rule.StandFor(m_top, textChangeCount);
}

// A New file whose relative path names a file elsewhere in the repository is
// the case a user most wants explained: the trace says where that file is.
void Classifier::NoteNameElsewhere(const std::string& path) {
    if (m_trace == nullptr || !m_rule.IsPrepared()) return;
    const std::string key = LocalKeyInOwnCase(path);
    // The rule found where each scanned file's name lies while it voted;
    // only a key it does not keep in that form needs the index of the list.
    m_rule.Refresh(m_top);
    std::optional<int> elsewhere = m_rule.FirstRowNaming(key);
    if (!elsewhere) {
        if (!m_index.IsCurrentFor(m_top)) m_index.Build(m_top);
        elsewhere = m_index.FindCounterpart(key);
    }
    if (*elsewhere < 0) return;
    m_trace->WriteTraceLine("Classifier: New: " + path + " - the same name is at " +
                            RepositoryPathOf(m_top, *elsewhere) + ", outside the repository folder");
}

int Classifier::AddMissingRows() {
    const bool subFolders = m_display.subFolders != 0;
    const std::string localRoot(mapping::WithoutTrailingSeparator(m_context.localPath));
    int added = 0;
    // The rows are read where they are now: a sort since the last lookup
    // moved them.
    m_rule.Refresh(m_top);
    for (const int row : m_rule.UnpairedRowsBelowFolder(subFolders)) {
        const std::string below = m_rule.KeyBelowFolder(row);
        std::string directory = localRoot;
        directory += platform::kSeparator;
        bool excluded = false;
        std::size_t nameAt = 0;
        for (std::size_t at = below.find('\\'); at != std::string::npos; at = below.find('\\', nameAt)) {
            const std::string_view folder = std::string_view(below).substr(nameAt, at - nameAt);
            excluded = excluded || NameIsExcluded(m_exclusions, folder);
            directory.append(folder);
            directory += platform::kSeparator;
            nameAt = at + 1;
        }
        const std::string name = below.substr(nameAt);
        if (excluded || NameIsExcluded(m_exclusions, name) || name.find(kSignatureFile) != std::string::npos) {
            continue;
        }
        std::int64_t size = 0;
        const std::string_view sizeText = m_top.GetItemText(row, kTopDatasizeColumn);
        for (const char c : sizeText) {
            if (c < '0' || c > '9' || size > (std::numeric_limits<std::int64_t>::max() - 9) / 10) break;
            size = size * 10 + (c - '0');
        }
        // The row is made whole in one step, as a listed file's is, so the
        // texts it repeats from the row before are kept once.
        const std::string record = RecordNumber(CountFilledRows(m_bottom) + 1);
        const std::string datasize = FormatDatasize(size);
        const std::string date(m_top.GetItemText(row, kTopModifiedDateColumn));
        const std::string_view texts[] = {record, name, directory, datasize, date, "Missing"};
        const int addedRow = m_bottom.InsertItem(0, texts);
        if (addedRow < 0) break;
        m_bottom.SetCellTextColor(addedRow, BottomStatus, kMissingColor, true);
        ++added;
    }
    return added;
}

std::string Classifier::CopyPathFor(int topRow) const {
    std::string path = mapping::TempDirectory(m_context.tempPath);
    path.reserve(path.size() + m_top.GetItemText(topRow, 2).size() +
                 m_top.GetItemText(topRow, 1).size() + 2);
    path += platform::kSeparator;
    mapping::AppendCopyRelativePath(path, m_top, topRow);
    return path;
}

void Classifier::AddRow(const NewRow& added) {
    // The row is made whole in one step: one block of the list's storage,
    // no text that grows cell by cell.
    std::int64_t size = 0;
    std::string date;
    if (added.fileStatus) {
        // The compare has just opened the file for reading: no second open.
        size = added.fileStatus->size;
        date = FormatLocalDate(added.fileStatus->lastWriteTime);
    } else {
        MeasureLocalFile(added.directory + added.name, size, date);
    }
    const std::string record = RecordNumber(added.recordNumber);
    const std::string datasize = FormatDatasize(size);
    const std::string_view texts[] = {record, added.name, added.directory, datasize, date, added.status};
    const int row = m_bottom.InsertItem(0, texts);
    if (row < 0) return;
    m_bottom.SetCellTextColor(row, BottomStatus, added.color, true);
}

void Classifier::SetSizeAndDate(int row, std::int64_t size, const std::string& date) {
    m_bottom.SetItemText(row, BottomDatasize, FormatDatasize(size));
    m_bottom.SetItemText(row, BottomDate, date);
}

void Classifier::MeasureLocalFile(const std::string& fullPath, std::int64_t& size, std::string& date) {
    platform::FileFacts facts;
    int error = 0;
    // The date is shown only for a file that can be opened for reading.
    bool haveInfo = platform::LookAtReadableFile(fullPath, facts, error) == platform::FileLookup::Measured;
    if (haveInfo) date = FormatLocalDate(facts.modifiedNs / 1000000000);
    if (!haveInfo) haveInfo = platform::StatPath(fullPath, facts, error);
    size = haveInfo ? static_cast<std::int64_t>(facts.size) : 0;
}

void Classifier::FillSizeAndDate(int row, const std::string& name, const std::string& directory) {
    std::int64_t size = 0;
    std::string date;
    MeasureLocalFile(directory + name, size, date);
    SetSizeAndDate(row, size, date);
}

void OnScanEvent(CFileScan& scanner, int event, void* userData) {
    auto* classifier = static_cast<Classifier*>(userData);
    if (event == ScanBeforeNote) {
        // The note must not reach the trace when a file before it ends the
        // run, as when each file is compared before the scan moves on.
        classifier->FinishPendingFiles();
        return;
    }
    if (event == ScanDirectory) classifier->ForgetOpenDirectories();
    if (classifier->ListingOnly() && !g_reportInProgress) g_scanStop = 1;
    if (event == ScanFileAccepted && !classifier->ListingOnly()) {
        // The collected text is the file's own path; rebuilding it from its
        // parsed parts would lose a trailing dot of the name.
        const std::string& path = scanner.PathTextAt(scanner.PathCount() - 1);
        if (!path.empty()) classifier->ClassifyLocalFile(path);
    }
    classifier->Pump().PumpMessages();
}

}  // namespace qvr
