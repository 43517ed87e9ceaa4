#include "tools/quorvan/tools.h"

int main(int argc, char** argv) {
    return qvr::quorvan::RunAdminTool(std::vector<std::string>(argv, argv + argc));
}
