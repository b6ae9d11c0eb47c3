#include <cstdio>
#include <string>
#include <vector>

#include "front/entry.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv, argv + argc);
  const int status = run_tool(words);
  std::fflush(stdout);
  return status;
}
