// Benchmark of the compare engine, run headless.
//
//   bench_compare generate ROOT [FILES]  local tree ROOT/local and its checked-out
//                                        copy ROOT/temp/proj (10% changed, 5% new)
//   bench_compare report ROOT            one compare run (scan, lookup, compare,
//                                        rows) over the generated trees
//   bench_compare lookup [ROWS]          counterpart index: build and ROWS lookups
//   bench_compare rule [FILES]           counterpart rule: FILES local keys against as
//                                        many Top List rows (trees 1-8 deep, names of
//                                        3-40 characters); Prepare time and the heap
//                                        it keeps
//   bench_compare memory                 200,000 Top rows x 11 cells and 100,000
//                                        Bottom rows x 6 cells; peak memory

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/busy_flags.h"
#include "app/message_pump.h"
#include "app/settings.h"
#include "compare/classifier.h"
#include "compare/file_scan.h"
#include "compare/report_table.h"
#include "compare/repository_key_index.h"

namespace fs = std::filesystem;
using namespace qvr;

namespace {

constexpr const char* kTopSpec =
    "Record,0;File,130;Path,250;Version,50;Tag,60;Datasize,60;Package,80;Creator,70;"
    "Created Date,120;Modifier,70;Modified Date,120;Status,60";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double CpuSeconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Generate(const fs::path& root, int files) {
    const fs::path local = root / "local";
    const fs::path copy = root / "temp" / "proj";
    fs::remove_all(root);
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> size(512, 11776);  // about 6 KB on average
    std::uniform_int_distribution<int> byte(32, 126);
    std::string bytes;
    long long total = 0;
    for (int i = 0; i < files; ++i) {
        // 25 top folders x 20 subfolders, 100 files each.
        const fs::path rel = fs::path("mod" + std::to_string(i % 25)) /
                             ("pkg" + std::to_string((i / 25) % 20)) /
                             ("file" + std::to_string(i) + ".cpp");
        fs::create_directories((local / rel).parent_path());
        bytes.resize(static_cast<std::size_t>(size(rng)));
        for (char& c : bytes) c = static_cast<char>(byte(rng));
        for (std::size_t k = 63; k < bytes.size(); k += 64) bytes[k] = '\n';
        WriteFile(local / rel, bytes);
        total += static_cast<long long>(bytes.size());
        const int kind = i % 20;  // 0: new, 1-2: changed, else the same
        if (kind == 0) continue;
        fs::create_directories((copy / rel).parent_path());
        if (kind == 1) bytes[bytes.size() / 2] ^= 1;  // same size, one byte differs
        if (kind == 2) bytes += "// local edit\n";      // a longer copy
        WriteFile(copy / rel, bytes);
    }
    std::printf("generated %d files, %.1f MB, under %s\n", files, static_cast<double>(total) / 1e6,
                root.c_str());
    return 0;
}

// The Top List as the listing tool would give it: one row per repository file.
void FillTopList(ReportTable& top, const fs::path& copyRoot) {
    top.ApplyColumnSpec(kTopSpec);
    for (const auto& entry : fs::recursive_directory_iterator(copyRoot)) {
        if (!entry.is_regular_file()) continue;
        std::string folder = "\\proj\\" + entry.path().parent_path().lexically_relative(copyRoot).string();
        for (char& c : folder) {
            if (c == '/') c = '\\';
        }
        const int row = top.InsertItem(top.GetItemCount(), std::to_string(top.GetItemCount() + 1));
        top.SetItemText(row, 1, entry.path().filename().string());
        top.SetItemText(row, 2, folder);
        top.SetItemText(row, 3, "1");
    }
}

int Report(const fs::path& root) {
    ReportTable top;
    ReportTable bottom;
    FillTopList(top, root / "temp" / "proj");
    ScmContext context;
    context.localPath = fs::absolute(root / "local").string();
    context.tempPath = fs::absolute(root / "temp").string();
    DisplayOptions display{1, 1, 1, 1};
    NullMessagePump pump;

    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    bottom.ApplyColumnSpec(kBottomListColumnSpec);
    Classifier classifier(top, bottom, context, display, pump);
    CFileScan scan;
    scan.SetCallback(&OnScanEvent, &classifier);
    ScanCriteria criteria;
    criteria.directory = context.localPath;
    criteria.recurse = 1;
    criteria.filterFlags = ScanCollectPaths;
    g_reportInProgress = 1;
    scan.ClearPaths();
    scan.Scan(criteria);
    g_reportInProgress = 0;
    const double elapsed = Seconds(start);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);

    int counts[3] = {0, 0, 0};
    for (int r = 0; r < bottom.GetItemCount(); ++r) {
        const std::string_view status = bottom.GetItemText(r, BottomStatus);
        ++counts[status == "New" ? 0 : status == "Same" ? 1 : 2];
    }
    std::printf("report %.3f s: %d files, %d New, %d Same, %d Diff (user %.3f s, system %.3f s)\n",
                elapsed, scan.PathCount(), counts[0], counts[1], counts[2],
                CpuSeconds(after.ru_utime) - CpuSeconds(before.ru_utime),
                CpuSeconds(after.ru_stime) - CpuSeconds(before.ru_stime));
    return 0;
}

int Lookup(int rows) {
    std::mt19937 rng(5);
    ReportTable top;
    top.ApplyColumnSpec("Record,0;File;Path");
    std::vector<std::string> keys;
    for (int i = 0; i < rows; ++i) {
        const std::string folder = "\\proj\\mod" + std::to_string(rng() % 50) + "\\pkg" +
                                   std::to_string(rng() % 40) + "\\sub" + std::to_string(rng() % 9);
        const std::string file = "source_file_" + std::to_string(i) + ".cpp";
        const int row = top.InsertItem(top.GetItemCount(), "1");
        top.SetItemText(row, 1, file);
        top.SetItemText(row, 2, folder);
        keys.push_back(RepositoryPathOf(top, row).substr(5));  // the local key: without \proj
    }
    std::shuffle(keys.begin(), keys.end(), rng);
    auto start = std::chrono::steady_clock::now();
    RepositoryKeyIndex index;
    index.Build(top);
    const double build = Seconds(start);
    start = std::chrono::steady_clock::now();
    long long found = 0;
    for (const std::string& key : keys) found += index.FindCounterpart(key) >= 0;
    const double lookups = Seconds(start);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) FindCounterpartLinear(top, keys[static_cast<std::size_t>(i)]);
    const double linear = Seconds(start) / 200 * rows;
    std::printf("lookup %d rows: build %.3f s, %d lookups %.3f s (%lld found); "
                "linear search would take about %.0f s\n",
                rows, build, rows, lookups, found, linear);
    return 0;
}

// Bytes the program has taken from the heap, large blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A tree as people have them: folders 1 to 8 deep, names of 3 to 40
// characters, many files per folder. The local tree is one folder of the
// repository with 5% of its files new and 5% of the repository's missing.
int Rule(int files) {
    std::mt19937 rng(7);
    const auto name = [&rng](int shortest, int longest) {
        static const char letters[] = "abcdefghijklmnopqrstuvwxyz_ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::string text(static_cast<std::size_t>(shortest + static_cast<int>(rng() % static_cast<unsigned>(longest - shortest + 1))), ' ');
        for (char& c : text) c = letters[rng() % (sizeof letters - 1)];
        return text;
    };
    std::vector<std::string> folders{""};
    while (folders.size() < static_cast<std::size_t>(files / 20 + 1)) {
        const std::string& parent = folders[rng() % folders.size()];
        if (std::count(parent.begin(), parent.end(), '\\') < 8) folders.push_back(parent + "\\" + name(3, 40));
    }
    ReportTable top;
    top.ApplyColumnSpec("Record,0;File;Path");
    std::vector<std::string> keys;
    keys.reserve(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) {
        const std::string folder = folders[1 + rng() % (folders.size() - 1)];
        const std::string file = name(3, 40) + ".c";
        if (i % 20 != 0) {
            const int row = top.InsertItem(top.GetItemCount(), "1");
            top.SetItemText(row, 1, file);
            top.SetItemText(row, 2, "\\repo" + folder);
        }
        if (i % 20 != 1) keys.push_back(folder + "\\" + file);
    }
    while (top.GetItemCount() < files) {
        const int row = top.InsertItem(top.GetItemCount(), "1");
        top.SetItemText(row, 1, name(3, 40));
        top.SetItemText(row, 2, "\\other" + folders[rng() % folders.size()]);
    }
    std::shuffle(keys.begin(), keys.end(), rng);
    std::size_t keyBytes = 0;
    for (const std::string& key : keys) keyBytes += key.size();

    const std::size_t heapBefore = HeapInUse();
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    CounterpartRule rule;
    rule.Prepare(top, keys, std::nullopt);
    const double prepare = Seconds(start);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const std::size_t heapAfter = HeapInUse();
    auto timed = std::chrono::steady_clock::now();
    long long paired = 0;
    for (const std::string& key : keys) paired += rule.CounterpartOf(key) >= 0;
    const double lookups = Seconds(timed);
    // The keys' texts in the form the rule would keep them, once each.
    std::size_t normalBytes = 0;
    for (const std::string& key : keys) normalBytes += NormalRepositoryFolder(key).size();
    for (int row = 0; row < top.GetItemCount(); ++row) {
        normalBytes += NormalRepositoryFolder(RepositoryPathOf(top, row)).size();
    }
    // A sort turns the rows round; the first lookup after it prepares the
    // rule again with the same pairs.
    std::vector<std::size_t> order(static_cast<std::size_t>(top.GetItemCount()));
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = order.size() - 1 - k;
    top.ApplyPermutation(order);
    timed = std::chrono::steady_clock::now();
    rule.Refresh(top);
    const double refresh = Seconds(timed);
    long long pairedAfter = 0;
    for (const std::string& key : keys) pairedAfter += rule.CounterpartOf(key) >= 0;
    const double perFile = static_cast<double>(heapAfter - heapBefore) / static_cast<double>(keys.size());
    std::printf("rule %zu local keys (%.1f bytes of text each) x %d rows: prepare %.3f s (cpu %.3f s), folder %s with %d votes, "
                "%lld paired, %zu lookups %.3f s, refresh after a sort %.3f s (%lld paired); the rule keeps %.0f bytes "
                "per file (the keys' texts alone: %.0f)\n",
                keys.size(), static_cast<double>(keyBytes) / static_cast<double>(keys.size()), top.GetItemCount(),
                prepare,
                CpuSeconds(after.ru_utime) - CpuSeconds(before.ru_utime) + CpuSeconds(after.ru_stime) -
                    CpuSeconds(before.ru_stime),
                ShownRepositoryFolder(rule.Folder()).c_str(), rule.Votes(), paired, keys.size(), lookups, refresh,
                pairedAfter, perFile, static_cast<double>(normalBytes) / static_cast<double>(keys.size()));
    return 0;
}

long PeakRssMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

int Memory() {
    ReportTable top;
    ReportTable bottom;
    top.ApplyColumnSpec(kTopSpec);
    bottom.ApplyColumnSpec(kBottomListColumnSpec);
    char record[16];
    for (int i = 0; i < 200'000; ++i) {
        std::snprintf(record, sizeof record, "%06d", i + 1);
        const int row = top.InsertItem(0, record);
        top.SetItemText(row, 1, "source_file_" + std::to_string(i) + ".cpp");
        top.SetItemText(row, 2, "\\proj\\module" + std::to_string(i % 50) + "\\package" + std::to_string(i % 40));
        top.SetItemText(row, 3, std::to_string(i % 7 + 1));
        top.SetItemText(row, 4, "REL_1_0");
        top.SetItemText(row, 5, std::to_string(i % 90) + " KB");
        top.SetItemText(row, 6, "package" + std::to_string(i % 40));
        top.SetItemText(row, 7, "developer");
        top.SetItemText(row, 8, "03/14/2024 10:22:41");
        top.SetItemText(row, 9, "developer");
        top.SetItemText(row, 10, "05/02/2024 16:03:09");
        top.SetItemText(row, 11, "Checked in");
    }
    for (int i = 0; i < 100'000; ++i) {
        std::snprintf(record, sizeof record, "%04d", i + 1);
        const int row = bottom.InsertItem(0, record);
        bottom.SetItemText(row, 1, "source_file_" + std::to_string(i) + ".cpp");
        bottom.SetItemText(row, 2, "/home/developer/work/module" + std::to_string(i % 50) + "/package/");
        bottom.SetItemText(row, 3, "7 KB");
        bottom.SetItemText(row, 4, "05-02-2024 16:03:09\n");
        bottom.SetItemText(row, 5, "Same");
        bottom.SetCellTextColor(row, 5, kSameColor);
    }
    std::printf("memory: %d Top rows + %d Bottom rows, peak RSS %ld MiB\n", top.GetItemCount(),
                bottom.GetItemCount(), PeakRssMiB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc > 2) return Generate(argv[2], argc > 3 ? std::atoi(argv[3]) : 50'000);
    if (command == "report" && argc > 2) return Report(argv[2]);
    if (command == "lookup") return Lookup(argc > 2 ? std::atoi(argv[2]) : 100'000);
    if (command == "rule") return Rule(argc > 2 ? std::atoi(argv[2]) : 100'000);
    if (command == "memory") return Memory();
    std::fprintf(stderr, "usage: bench_compare generate ROOT [FILES] | report ROOT | lookup [ROWS] | rule [FILES] | memory\n");
    return 2;
}
