#include <string>
#include <vector>

#include "front/entry.h"

int main(int argc, char** argv) { return run_tool(std::vector<std::string>(argv, argv + argc)); }
