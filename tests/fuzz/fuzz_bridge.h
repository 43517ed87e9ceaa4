#pragma once
// The bridge as the log-reader targets need it: an install directory of its
// own under the temporary folder, no trace file, a host that answers every
// box with OK and a pump that does nothing. Each input is written to the
// file the reader under test opens, exactly as a tool would leave it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "scm/scm_bridge.h"

namespace qvr::fuzz {

class SilentHost final : public IMessageBoxHost {
public:
    int MessageBox(const std::string&, MbButtons, MbIcon) override { return IDOK; }
    std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> GetSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

class IdlePump final : public IMessagePump {
public:
    void PumpMessages() override {}
    void PumpPaintMessages() override {}
};

class FuzzBridge {
public:
    FuzzBridge()
        : m_installDir(MakeInstallDir()),
          m_bridge(ScmBridgeContext{m_context, m_templates, m_installDir, m_records, m_trace,
                                    m_host, m_pump}) {
        m_context = {"brk", "usr", "secret", "proj", "st1", "", m_installDir, m_installDir};
    }
    ~FuzzBridge() {
        std::error_code ec;
        std::filesystem::remove_all(m_installDir, ec);
    }
    FuzzBridge(const FuzzBridge&) = delete;
    FuzzBridge& operator=(const FuzzBridge&) = delete;

    ScmBridge& Bridge() { return m_bridge; }
    CMapStrToFObj& Records() { return m_records; }

    void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }

private:
    static std::string MakeInstallDir() {
        std::random_device rd;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            auto path = base / ("qvrfuzz-" + std::to_string(rd()));
            if (std::filesystem::create_directory(path)) return path.string();
        }
    }

    std::string m_installDir;
    ScmContext m_context;
    CommandTemplates m_templates;
    CMapStrToFObj m_records;
    TraceLog m_trace;  // no path: nothing is written
    SilentHost m_host;
    IdlePump m_pump;
    ScmBridge m_bridge;
};

}  // namespace qvr::fuzz
