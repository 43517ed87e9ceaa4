// The checkout for browse: running the checkout tool into the temporary
// directory (the whole tree, or one item for a viewer) and judging its log,
// vgt.log.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <thread>
#include <vector>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "scm/command_line.h"
#include "scm/scm_bridge.h"
#include "scm/text_line_reader.h"

namespace qvr {
namespace {

constexpr const char* kEndReturn0 = "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse return=0";
// Log lines read between two looks at the window's messages.
constexpr std::size_t kLinesPerPump = 256;
// Claimed copies looked for at once (memory stays flat on any checkout),
// and the count below which one thread looks for them all.
constexpr std::size_t kClaimBatch = 16384;
constexpr std::size_t kCopiesPerThread = 4096;
constexpr const char* kEndReturn1 = "CqvrCompareDlg::ReadVgtLog: END Checkout for Browse return=1";

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Contains for an upper-case part, the text's letters taken as upper case:
// a log line is looked at without an upper-cased copy of it.
bool ContainsUpper(std::string_view text, std::string_view upperPart) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (std::size_t at = 0; at + upperPart.size() <= text.size(); ++at) {
        std::size_t matched = 0;
        while (matched < upperPart.size() && upper(text[at + matched]) == upperPart[matched]) ++matched;
        if (matched == upperPart.size()) return true;
    }
    return false;
}

void EraseFirst(std::string& text, std::string_view part) {
    std::size_t at = text.find(part);
    if (at != std::string::npos) text.erase(at, part.size());
}

void EraseAll(std::string& text, std::string_view part) {
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at)) {
        text.erase(at, part.size());
    }
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The text after key up to the next ";" (or the end), trimmed; empty when the
// key is missing.
std::string CountAfter(std::string_view upperLine, std::string_view key) {
    std::size_t at = upperLine.find(key);
    if (at == std::string_view::npos) return {};
    std::string_view rest = upperLine.substr(at + key.size());
    return std::string(Trim(rest.substr(0, rest.find(';'))));
}

// Leading digits as the platform's 32-bit decimal conversion reads them:
// optional sign, saturating at the 32-bit limits, 0 when there is no number.
std::int32_t ToLong32(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, kLimit - 1));
}

// The item of a "Checked out <item> version <n>" line, or empty.
std::string_view CheckedOutItem(std::string_view line) {
    constexpr std::string_view kMark = "Checked out ";
    if (!line.starts_with(kMark)) return {};
    const std::size_t version = line.rfind(" version ");
    if (version == std::string_view::npos || version < kMark.size()) return {};
    return line.substr(kMark.size(), version - kMark.size());
}

// Where the checkout put an item: the destination, the item without its
// leading backslash, the repository's backslashes as folder separators.
std::string CopyOfItem(const std::string& destination, std::string_view item) {
    if (!item.empty() && item.front() == '\\') item.remove_prefix(1);
    std::string copy = platform::JoinPath(destination, item);
    if constexpr (!platform::kIsWindows) {
        for (std::size_t at = destination.size(); at < copy.size(); ++at) {
            if (copy[at] == '\\') copy[at] = platform::kSeparator;
        }
    }
    return copy;
}

}  // namespace

std::size_t ErrorPathLength(const std::string& line) {
    std::size_t backslash = line.find('\\');
    if (backslash == std::string::npos) return 0;
    std::size_t blank = line.rfind(' ', backslash);
    if (blank == std::string::npos) return 0;
    std::size_t start = blank + 1;
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) return 0;
    return end - start;
}

ToolCommandLine ScmBridge::BuildVgtCommandLine(const std::string& destination) const {
    const ScmContext& ctx = m_state.context;
    std::string package = EffectivePackage(ctx.package);
    std::string format = m_state.templates.vgtFmt;
    StripPackageOption(format);
    std::vector<std::string> values{"*",         ctx.broker, ctx.project, ctx.state,
                                    destination, ctx.userId, ctx.password};
    if (!package.empty()) {
        format += " -p \"%s\"";
        values.push_back(package);
    }
    constexpr std::size_t kPasswordValue = 6;
    ToolCommandLine commandLine(format, values, kPasswordValue);
    const std::string logPath = VgtLogPath();
    commandLine.Edit([&](std::string& line) { line = ReplaceFileName(line, "vgt.log", logPath); });
    return commandLine;
}

int ScmBridge::RunVgt() {
    TraceLog& trace = m_state.trace;
    trace.WriteTraceLine("CqvrCompareDlg::RunVgt: START Checkout for Browse");
    std::remove(VgtLogPath().c_str());
    const bool wasReporting = g_reportInProgress != 0;

    m_checkoutDestination = m_state.context.tempPath;
    const ToolCommandLine commandLine = BuildVgtCommandLine(m_checkoutDestination);
    TraceCommandLine("CqvrCompareDlg::RunVgt: ExecuteThis: ", commandLine);

    int result = LaunchTool(commandLine);
    if (result < 0) {
        trace.WriteTraceLine("CqvrCompareDlg::RunVgt: Error: Execute RunVgt Failed");
        return 0;
    }
    if (result == 0) result = 1;
    if (wasReporting && g_reportInProgress == 0) result = 0;  // cancelled while it ran
    trace.Trace("CqvrCompareDlg::RunVgt: END Checkout for Browse return=%d", result);
    return result;
}

int ScmBridge::RunVgtFile(const std::string& destination, const std::string& item) {
    TraceLog& trace = m_state.trace;
    trace.WriteTraceLine("CqvrCompareDlg::RunVgt: START Checkout for Browse " + destination + " " +
                         item);
    std::remove(VgtLogPath().c_str());

    m_checkoutDestination = destination;
    // One item instead of the whole tree, and without the signature files.
    ToolCommandLine commandLine = BuildVgtCommandLine(destination);
    commandLine.Edit([&](std::string& line) {
        EraseFirst(line, "\"*\" ");
        line += " \"" + DoubleQuotes(item) + "\" ";
        EraseAll(line, "-nvs");
    });
    TraceCommandLine("CqvrCompareDlg::RunVgt: ExecuteThis: ", commandLine);

    int result = LaunchTool(commandLine);
    if (result < 0) {
        trace.WriteTraceLine("CqvrCompareDlg::RunVgt: Error: Execute RunVgt Failed");
        return 0;
    }
    if (result == 0) result = 1;
    trace.Trace("CqvrCompareDlg::RunVgt: END Checkout for Browse return=%d", result);
    return result;
}

void ScmBridge::CountMissingCopies(const std::vector<std::string>& copies) {
    // Adds to the counts of the log read so far. A copy is missing unless it is a regular file (or a link to one).
    const auto firstMissing = [&copies](std::size_t from, std::size_t to, std::int64_t& missing) {
        std::size_t first = to;
        // The copies come folder by folder: each is found from its folder.
        platform::PathStatter statter;
        for (std::size_t i = from; i < to; ++i) {
            platform::FileFacts facts;
            int error = 0;
            if (statter.Stat(copies[i], facts, error) && facts.isRegularFile) continue;
            if (missing++ == 0) first = i;
        }
        return first;
    };
    // A large checkout is looked at on two threads: the tool has ended, and
    // the second core is free.
    const std::size_t half = copies.size() < kCopiesPerThread ? copies.size() : copies.size() / 2;
    std::int64_t missingLater = 0;
    std::size_t firstLater = copies.size();
    std::thread later;
    if (half < copies.size()) {
        later = std::thread([&] { firstLater = firstMissing(half, copies.size(), missingLater); });
    }
    std::int64_t missing = 0;
    std::size_t first = firstMissing(0, half, missing);
    if (later.joinable()) later.join();
    if (first == half) first = firstLater;
    if (m_missingCopies == 0 && first < copies.size()) m_firstMissingCopy = copies[first];
    m_missingCopies += missing + missingLater;
}

int ScmBridge::ReadVgtLog(std::string& outLine) {
    TraceLog& trace = m_state.trace;
    trace.WriteTraceLine("CqvrCompareDlg::ReadVgtLog: START Read results of Checkout for Browse");
    const bool wasReporting = g_reportInProgress != 0;
    const std::string logPath = VgtLogPath();
    m_vgtLogUnreadable = false;
    m_checkoutTotal = -1;
    m_missingCopies = 0;
    m_firstMissingCopy.clear();

    auto unableToRead = [&]() {
        m_vgtLogUnreadable = true;
        trace.WriteTraceLine("Unable to read: " + logPath);
        trace.WriteTraceLine(kEndReturn0);
        ShowUnableToRead(logPath);
        return 0;
    };

    TextLineReader reader;
    // A log that cannot be opened ends the step like one that cannot be read:
    // the caller then reports the checkout as failed instead of stopping.
    if (!reader.Open(logPath)) return unableToRead();
    m_state.topRecords.RemoveAll();

    // A temp folder the tool cannot write to fails every item: the first item
    // error is shown, the others only traced, and one box sums them up once
    // the log is read, so the user is never held by a box per file.
    bool itemErrorShown = false;
    int itemErrorsNotShown = 0;
    // The copies the log says it wrote, looked for a batch at a time.
    std::vector<std::string> claimedCopies;
    auto finish = [&](int result) {
        CountMissingCopies(claimedCopies);
        if (itemErrorsNotShown > 0) {
            m_state.messages.MessageBox(
                std::to_string(itemErrorsNotShown) + " more checkout errors - review the vgt.log.",
                MbButtons::Ok, MbIcon::Exclamation);
        }
        return result;
    };

    std::string line;
    std::size_t linesRead = 0;
    while (reader.ReadPiece(line)) {
        if (line.empty()) continue;
        if (line.front() == 'E') {
            MaskPassword(line, m_state.context.password);
            outLine = line;
            trace.WriteTraceLine(line);
            std::string message = "Checkout for Browse Error:\n";
            if (ErrorPathLength(line) > kMaxPath) message += "\nPath exceeds MAX_PATH!\n\n";
            message += line;
            message += "\n\nReview the vgt.log.";
            const bool itemError = Contains(message, "The File Agent error for item");
            if (!Contains(line, "Signature")) {
                if (itemError && itemErrorShown) {
                    ++itemErrorsNotShown;
                } else {
                    itemErrorShown = itemErrorShown || itemError;
                    m_state.messages.MessageBox(message, MbButtons::Ok, MbIcon::Exclamation);
                }
            }
            if (itemError) continue;
            trace.WriteTraceLine(kEndReturn0);
            return finish(0);
        }
        // Every few hundred lines is often enough to stay responsive; a
        // pump per line would cost more than the reading.
        if (wasReporting && linesRead++ % kLinesPerPump == 0) {
            m_state.pump.PumpMessages();
            if (g_reportInProgress == 0) break;  // Cancel: finish as at the end of the log
        }
        // A copy the log says it wrote must be there: one that is not means
        // the compare would read whatever an earlier run left. (A name the
        // tool had to alter, "Total : ", cannot be looked for.)
        if (const std::string_view item = CheckedOutItem(line); !item.empty()) {
            if (ContainsUpper(line, "TOTAL : ")) continue;
            claimedCopies.push_back(
                CopyOfItem(m_checkoutDestination.empty() ? m_state.context.tempPath : m_checkoutDestination, item));
            if (claimedCopies.size() == kClaimBatch) {
                CountMissingCopies(claimedCopies);
                claimedCopies.clear();
            }
            continue;
        }
        if (!ContainsUpper(line, "TOTAL: ")) continue;
        const std::string upper = platform::UpperAscii(line);
        m_checkoutTotal = std::max<std::int64_t>(0, ToLong32(CountAfter(upper, "TOTAL: ")));

        std::string success = CountAfter(upper, "SUCCESS: ");
        std::string failed = CountAfter(upper, "FAILED: ");
        outLine = line;
        trace.WriteTraceLine("CqvrCompareDlg::ReadVgtLog: " + line);
        if (failed.empty() || failed == "0") {
            trace.WriteTraceLine(kEndReturn1);
            return finish(1);
        }
        std::int32_t successCount = ToLong32(success);
        std::int32_t failedCount = ToLong32(failed);
        if (static_cast<std::uint32_t>(failedCount) >= static_cast<std::uint32_t>(successCount)) {
            trace.Trace("CqvrCompareDlg::ReadVgtLog: END Checkout for Browse - failed count=%d is "
                        "too high, success count=%d  return=0",
                        failedCount, successCount);
            return finish(0);
        }
        trace.Trace("CqvrCompareDlg::ReadVgtLog: END Checkout for Browse - failed count=%d is less "
                    "than success count=%d  return=1",
                    failedCount, successCount);
        return finish(1);
    }
    if (reader.Failed()) return finish(unableToRead());
    trace.WriteTraceLine(kEndReturn1);
    return finish(1);
}

}  // namespace qvr
