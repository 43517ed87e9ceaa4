#pragma once
// The workflows over a fake window, the real stand-in tools and a sandbox
// repository: project "PROJ", state "DEV".

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_workflow_view.h"
#include "quorvan_sandbox.h"
#include "support/callback_message_pump.h"
#include "support/recording_message_box_host.h"
#include "workflow/compare_workflows.h"

namespace qvr::testing {

// The status a report ends with when the local path stands for the
// repository's root.
inline constexpr const char* kReadyAtRoot = " Ready - Repository folder: \\";

class WorkflowTest : public ::testing::Test {
protected:
    WorkflowTest();
    ~WorkflowTest() override;

    // The context a user would type, with both captions idle.
    void TypeContext();
    // Writes files below the source folder and imports it as PROJ/DEV.
    void ImportSource(const std::vector<std::pair<std::string, std::string>>& files);
    // Trace messages without their line numbers and times.
    std::vector<std::string> TraceLines() const;
    // Column texts of every Top or Bottom List row.
    static std::vector<std::string> Column(const ReportTable& table, int column);

    QuorvanSandbox m_sandbox;
    FakeWorkflowView m_view;
    ReportTable m_top;
    ReportTable m_bottom;
    AppSettings m_settings;
    CMapStrToFObj m_records;
    std::string m_installDir;
    TraceLog m_trace;
    RecordingMessageBoxHost m_host;
    CallbackMessagePump m_pump;
    CompareWorkflows m_workflows;
    std::filesystem::path m_startDir;
};

}  // namespace qvr::testing
