#include "tools/quorvan/tools.h"

int main(int argc, char** argv) {
    return qvr::quorvan::RunVgtTool(std::vector<std::string>(argv, argv + argc));
}
