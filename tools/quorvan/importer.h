#pragma once
// Imports a directory tree into one state of a project: every file below the
// folder becomes an item at its path; a file whose bytes changed since the
// last import gets a new version, an unchanged file keeps its version, and
// items whose files are gone stay as they are. One transaction for the whole
// tree, so an interrupted import changes nothing.

#include "tools/quorvan/repository.h"

#include <string>
#include <vector>

namespace qvr::quorvan {

struct ImportRequest {
    std::string project;
    std::string state;
    std::string package;
    std::string user;
    std::string folder;
};

struct ImportResult {
    int newItems = 0;
    int newVersions = 0;
    int unchanged = 0;
    std::vector<std::string> skipped;  // local paths that cannot be items
};

bool ImportTree(Repository& repo, const ImportRequest& request, ImportResult& result,
                std::string& error);

}  // namespace qvr::quorvan
