#include "reliability/whole_files.h"

#include <unistd.h>

#include <algorithm>
#include <sstream>

namespace {

std::string sorted_lines(const std::string& contents) {
  std::vector<std::string> lines;
  std::istringstream in(contents);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

// Which of the states the contents equal: its index, or -1 for none.
int state_of(const std::string& path, const std::string& contents, const WholeFilesCheck& check) {
  const std::string seen = check.any_line_order ? sorted_lines(contents) : contents;
  for (size_t i = check.states.size(); i-- > 0;) {
    const std::string& wanted = check.states[i].at(path);
    if (seen == (check.any_line_order ? sorted_lines(wanted) : wanted)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string memory_backed_directory() { return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : ""; }

std::vector<std::string> leftover_temporaries(const DriverTree& tree) {
  std::vector<std::string> found;
  for (const std::string& name : list_directory(tree.inf(""))) {
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".$$$") == 0) found.push_back(name);
  }
  return found;
}

testing::AssertionResult files_whole(const DriverTree& tree, const WholeFilesCheck& check,
                                     bool* all_last) {
  std::string faults;
  bool last = true;
  for (const auto& [path, contents] : tree.snapshot()) {
    const int state = state_of(path, contents, check);
    if (state < 0)
      faults += "\n  " + path + " is in none of the states (" + std::to_string(contents.size()) +
                " bytes)";
    last = last && state == static_cast<int>(check.states.size()) - 1;
  }
  if (!check.temporary_may_remain) {
    for (const std::string& name : leftover_temporaries(tree)) faults += "\n  left behind: " + name;
  }
  if (all_last != nullptr) *all_last = last;
  if (faults.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "data files not whole:" << faults;
}
