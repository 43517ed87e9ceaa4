#pragma once
// Entry points of the stand-in tools. args[0] is the program name as started;
// the return value is the process exit status: 0 success, 1 the output file
// holds an "Error: " line, 2 no output file could be written (the error went
// to standard error).

#include <string>
#include <vector>

namespace qvr::quorvan {

int RunVlxTool(const std::vector<std::string>& args);
int RunVgtTool(const std::vector<std::string>& args);
int RunVqryTool(const std::vector<std::string>& args);
int RunAdminTool(const std::vector<std::string>& args);

}  // namespace qvr::quorvan
