#include "reliability/whole_files.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

namespace {

// The contents with each run of consecutive format entries sorted: runs that take turns may
// enter their formats in any order, but only where a format's lines belong.
std::string entries_sorted(const std::string& contents) {
  std::vector<std::string> lines;
  std::istringstream in(contents);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const auto is_entry = [](const std::string& line) { return line.rfind("VtL", 0) == 0; };
  for (auto run = lines.begin(); run != lines.end();) {
    const auto end = std::find_if_not(run, lines.end(), is_entry);
    std::sort(run, end);
    run = end == lines.end() ? end : end + 1;
  }
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

// Which of the states the contents equal: its index, or -1 for none.
int state_of(const std::string& path, const std::string& contents, const WholeFilesCheck& check) {
  const std::string seen = check.any_line_order ? entries_sorted(contents) : contents;
  for (size_t i = check.states.size(); i-- > 0;) {
    const std::string& wanted = check.states[i].at(path);
    if (seen == (check.any_line_order ? entries_sorted(wanted) : wanted))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

// The sibling stand-in runs from the tree, so a memory file system mounted noexec won't do.
std::string memory_backed_directory() {
  struct statvfs info {};
  const bool usable = ::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &info) == 0 &&
                      (info.f_flag & ST_NOEXEC) == 0;
  return usable ? "/dev/shm" : "";
}

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
