// The store's copy of a data file, called in-process: every way it can copy (in the kernel,
// in user space when the file system cannot, through rules at any block size) must give
// the same bytes, and a line the tool adds must never join a last line without a line feed.
#include "store/rewrite.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/harness.h"
#include "support/seam_unit.h"

namespace {

struct CopyPath {
  const char* name;
  std::vector<LineRule> rules;
  int copy_error;  // what copying in the kernel fails with; 0: it works
};

TEST(Rewrite, EveryCopyPathPutsTheTrailerOnALineOfItsOwn) {
  const fs::path dir =
      fs::temp_directory_path() / ("vtpapertool-unit-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "ImagingArea").string();
  const LineRule nowhere = drop_matching("no line holds this");
  const CopyPath paths[] = {
      {"kernel", {}, 0},
      {"user space after EXDEV", {}, EXDEV},
      {"user space after EOPNOTSUPP", {}, EOPNOTSUPP},
      {"rules", {nowhere}, 0},
  };
  // contents -> what the copy must be, with the trailer "T\n"
  const std::pair<std::string, std::string> files[] = {
      {"", "T\n"},           {"a\n", "a\nT\n"},
      {"a\nb", "a\nb\nT\n"}, {std::string("a\nb\0c", 5), std::string("a\nb\0c\nT\n", 8)},
      {"\n", "\nT\n"},       {std::string(300, 'x'), std::string(300, 'x') + "\nT\n"},
  };
  for (const CopyPath& copy : paths) {
    for (const size_t block : {size_t{1}, size_t{2}, size_t{7}, size_t{1} << 17}) {
      for (const auto& [contents, want] : files) {
        SCOPED_TRACE(std::string(copy.name) + ", block " + std::to_string(block) + ", file '" +
                     contents.substr(0, 8) + "'");
        write_file(path, contents);
        unit_seam = {block, "copy", copy.copy_error};
        ASSERT_FALSE(failed(prepare_data_file(path, copy.rules, "T\n")));
        EXPECT_EQ(read_file(temporary_path(path)), want);
      }
    }
  }
  unit_seam = {};
  fs::remove_all(dir);
}

}  // namespace
