#pragma once
// Shared set-up of the tests that run the bridge's steps: an install
// directory of its own, the default templates, a trace file, a recording
// message-box host and a pump the test can hook.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "scm/scm_bridge.h"
#include "support/callback_message_pump.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr::testing {

// The program's default templates, as the settings hold them.
inline const char* const kVlxWithoutPackage =
    "vlx -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -usr %s -pw %s -iv lv -s \"*\" -o vlx.log";
inline const char* const kVlxWithPackage =
    "vlx -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -usr %s -pw %s -iv lv -s \"*\" -o vlx.log -p "
    "\"%s\" ";
inline const char* const kVgtWithoutPackage =
    "vgt \"%s\" -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -br -nvs -r -op pc -cp \"%s\" -usr %s -pw "
    "%s -o vgt.log";
inline const char* const kVgtWithPackage =
    "vgt \"%s\" -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -br -nvs -r -op pc -cp \"%s\" -usr %s -pw "
    "%s -o vgt.log -p \"%s\" ";
inline const char* const kVqryDefault = "vqry -b \"%s\" -usr %s -pw %s -t -f \"%s\" -o \"%s\"";
inline const char* const kSqlDefault =
    "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = '%s'";

inline std::string ChildPath() { return QVR_TEST_CHILD; }

// The separator the program puts between its install directory and a file
// name: "\\" on Windows, "/" elsewhere.
inline const std::string kSep(1, platform::kSeparator);

// Clears the process-wide flags whatever a test left behind.
struct BusyFlagsGuard {
    BusyFlagsGuard() { Reset(); }
    ~BusyFlagsGuard() { Reset(); }
    static void Reset() { g_populateInProgress = g_reportInProgress = g_scanStop = 0; }
};

class BridgeTest : public ::testing::Test {
protected:
    BridgeTest()
        : installDir(dir.Str()),
          trace((dir / "QvrCompare.trc").string()),
          bridge(ScmBridgeContext{context, templates, installDir, records, trace, host, pump}) {
        context = {"brk", "usr", "secret", "proj", "st1", "", "/tmp/qvrtemp", "/tmp/local"};
        templates = {kVlxWithoutPackage, kVgtWithoutPackage, kVqryDefault, kSqlDefault, ""};
    }

    // The trace's messages, without line numbers and time stamps.
    std::vector<std::string> TraceMessages() const {
        std::vector<std::string> messages;
        std::string text = ReadFile(trace.Path());
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            std::string line = text.substr(begin, end - begin);
            // The trace is written in text mode: CR LF on Windows.
            if (kOnWindows && !line.empty() && line.back() == '\r') line.pop_back();
            // "N MM/DD/YYYY HH:MM:SS message"
            std::size_t at = 0;
            for (int blanks = 0; blanks < 3 && at != std::string::npos; ++blanks) {
                at = line.find(' ', at);
                if (at != std::string::npos) ++at;
            }
            messages.push_back(at == std::string::npos ? std::string() : line.substr(at));
            if (end == std::string::npos) break;
            begin = end + 1;
        }
        return messages;
    }

    // Leaves a tool's output file in the install directory and has the
    // bridge read it: the listing, the checkout's log, the query's result.
    int ReadListing(const std::string& log, std::string& error) {
        dir.Write("vlx.log", log);
        return bridge.ReadVlxLog(error);
    }
    int ReadCheckoutLog(const std::string& log, std::string& line) {
        dir.Write("vgt.log", log);
        return bridge.ReadVgtLog(line);
    }
    int ReadQueryOutput(const std::string& output, std::string& result) {
        dir.Write("vqrystmt.dat", output);
        return bridge.ReadVqryOutput(result);
    }

    // The listing's record under key, which must be there.
    RepoFileRecord Record(const std::string& key) {
        RepoFileRecord record;
        EXPECT_TRUE(records.Lookup(key, record)) << key;
        return record;
    }

    std::vector<std::string> ReadLines(const std::filesystem::path& p) const {
        std::vector<std::string> lines;
        std::string text = ReadFile(p);
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            lines.push_back(text.substr(begin, end - begin));
            if (end == std::string::npos) break;
            begin = end + 1;
        }
        return lines;
    }

    BusyFlagsGuard flags;
    TempDir dir;
    std::string installDir;
    ScmContext context;
    CommandTemplates templates;
    CMapStrToFObj records;
    TraceLog trace;
    RecordingMessageBoxHost host;
    CallbackMessagePump pump;
    ScmBridge bridge;
};

}  // namespace qvr::testing
