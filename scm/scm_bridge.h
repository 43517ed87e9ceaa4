#pragma once
// The main window's steps that drive the Quorvan tools and read what they
// leave behind: the repository listing (RunVLX, ReadVlxLog), the broker check
// (CheckForBroker, RunVQRY, ReadVqryOutput) and the checkout for browse
// (RunVgt, RunVgtFile, ReadVgtLog). The window and the headless front end
// both run them through this class over the same state, so no step exists
// twice.

#include <cstdint>
#include <string>
#include <vector>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "app/settings.h"
#include "app/trace.h"
#include "scm/command_line.h"
#include "scm/launcher.h"
#include "scm/repo_file_map.h"

namespace qvr {

// The window shows the wait cursor during the broker check; other front ends
// may show nothing.
class IWaitCursor {
public:
    virtual ~IWaitCursor() = default;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

// The state the steps read and change, owned by the front end.
struct ScmBridgeContext {
    ScmContext& context;
    CommandTemplates& templates;
    const std::string& installDir;
    CMapStrToFObj& topRecords;  // the Top List record map
    TraceLog& trace;
    IMessageBoxHost& messages;
    IMessagePump& pump;
    IWaitCursor* waitCursor = nullptr;
};

// Defaults used when a template is found empty at run time.
inline constexpr const char* kDefaultVqryTemplate =
    "vqry -b \"%s\" -usr %s -pw %s -t -f \"%s\" -o \"%s\"";
inline constexpr const char* kDefaultSqlTemplate =
    "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = '%s'";

// The SQL tool is given this long to answer before the program goes on.
inline constexpr int kVqryTimeLimitMs = 6000;

// Error lines naming a longer path than this get the MAX_PATH note.
inline constexpr std::size_t kMaxPath = 260;

class ScmBridge {
public:
    explicit ScmBridge(const ScmBridgeContext& state);

    Launcher& GetLauncher() { return m_launcher; }

    // Repository listing.
    int RunVLX();
    // The records of vlx.log into the Top List record map; 0 with errorText
    // set when the log holds an error line, is cut off before its closing
    // line or holds a line longer than kLongestLine.
    int ReadVlxLog(std::string& errorText);
    // True when the last ReadVlxLog could not open or read the log at all.
    bool VlxLogUnreadable() const { return m_vlxLogUnreadable; }
    ToolCommandLine BuildVlxCommandLine() const;

    // Broker check.
    int CheckForBroker();
    int RunVQRY(const std::string& statement);
    int ReadVqryOutput(std::string& resultText);
    std::string BuildBrokerStatement();
    // The SQL tool's error line that made the last broker check fail (a
    // refused login, say), or empty when the tool gave none.
    const std::string& BrokerErrorLine() const { return m_brokerErrorLine; }

    // Checkout for browse.
    int RunVgt();
    int RunVgtFile(const std::string& destination, const std::string& item);
    int ReadVgtLog(std::string& line);
    // True when the last ReadVgtLog could not open or read the log at all,
    // which its 0 result alone does not tell from a failed checkout.
    bool VgtLogUnreadable() const { return m_vgtLogUnreadable; }
    // The total of the last log's summary line, -1 when it had none.
    std::int64_t CheckoutTotal() const { return m_checkoutTotal; }
    // Copies the last log says were checked out that are not there.
    std::int64_t MissingCopies() const { return m_missingCopies; }
    const std::string& FirstMissingCopy() const { return m_firstMissingCopy; }
    ToolCommandLine BuildVgtCommandLine(const std::string& destination) const;

    // The tools' files, all in the install directory.
    std::string VlxLogPath() const;
    std::string VgtLogPath() const;
    std::string StatementPath() const;
    std::string QueryOutputPath() const;

private:
    void ShowUnableToRead(const std::string& path);
    // Traces the line as shown: the password never reaches the trace.
    void TraceCommandLine(const std::string& prefix, const ToolCommandLine& commandLine);
    // LaunchTask with the launch failure messages naming the shown line.
    int LaunchTool(const ToolCommandLine& commandLine);
    // Adds the copies that are not there to the count, and names the first
    // in log order.
    void CountMissingCopies(const std::vector<std::string>& copies);

    ScmBridgeContext m_state;
    Launcher m_launcher;
    bool m_vgtLogUnreadable = false;
    bool m_vlxLogUnreadable = false;
    std::string m_checkoutDestination;
    std::int64_t m_checkoutTotal = -1;
    std::int64_t m_missingCopies = 0;
    std::string m_firstMissingCopy;
    std::string m_brokerErrorLine;
};

// The package as the tools are given it: one containing "*" means all
// packages, which is the tools' behaviour without a package option.
std::string EffectivePackage(const std::string& package);

// A single quote doubled, so a value stays inside the quotes of an SQL text.
std::string DoubleSingleQuotes(const std::string& value);

// Length of the path an error line of the checkout log names, 0 when none.
std::size_t ErrorPathLength(const std::string& line);

}  // namespace qvr
