// Catalogues as an administrator of many print servers uses them: exported from one tree,
// applied to another, applied again, pruned, previewed, refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/harness.h"

namespace {

Words apply(const fs::path& catalogue, bool prune = false) {
  Words words{"-P", "q1", "--apply", catalogue.string()};
  if (prune) words.push_back("--prune");
  return words;
}

// The files with every key's time field masked: two trees that made the same formats at
// different times hold the same bytes then.
Files masked(Files files) {
  for (auto& [name, text] : files) {
    for (size_t at = text.find("VtL"); at < text.size() && at + 25 <= text.size();
         at = text.find("VtL", at + 25)) {
      text.replace(at + 20, 5, ".....");
    }
  }
  return files;
}

// How many syncs, renames and sibling calls the command made.
long writes_and_calls(const Tree& tree, const Words& command, Result& result) {
  const std::vector<std::string> calls = tree.io_calls(command, result);
  return std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
    const std::string name = call.substr(0, call.find(' '));
    return name == "fsync" || name == "fdatasync" || name == "rename" || name == "sibling";
  });
}

// Every row of both tape tables, trimmed and not, tube beyond its widest, the length
// limits, and roll sizes: exported and applied to a second tree, every number comes back.
TEST(Catalogue, ExportThenApplyGivesEveryNumberBack) {
  const std::map<std::string, std::string> catalogues{
      {"lmq700k",
       "S3\t3\t4\nS5\t5\t1000\nS6\t6\t50\nS7\t7\t50\nS9\t9\t50\nS10\t10\t50\nS12\t12\t50\n"
       "S18\t18\t50\nS24\t24\t50\nS31\t31\t50\nS36\t36\t50\nHS4\t4\t500\nHS6\t6\t50\n"
       "HS9\t9\t50\nHS12\t12\t50\nHS15\t15\t50\nHS18\t18\t50\nHS24\t24\t50\nHS30\t30\t50\n"},
      {"rk260", "R1\t4\t7\nR2\t29\t90\nR3\t300\t5000\nR4\t62\t100\n"},
  };
  for (const auto& [model, catalogue] : catalogues) {
    SCOPED_TRACE(model);
    Tree source(model);
    Tree copy(model);
    write_file(source.dir / "catalogue", catalogue);
    ASSERT_EQ(source.run(apply(source.dir / "catalogue")).status, 0);
    const Result exported = source.run({"--export"});
    EXPECT_EQ(exported.status, 0);
    write_file(copy.dir / "catalogue", exported.out);
    ASSERT_EQ(copy.run(apply(copy.dir / "catalogue")).status, 0);
    EXPECT_EQ(masked(copy.files()), masked(source.files()));
    EXPECT_EQ(copy.run({"--export"}).out, exported.out);
    EXPECT_EQ(copy.run(apply(copy.dir / "catalogue")).out, "");
  }
}

// A catalogue applied again changes nothing, without a sync or a call; a changed format is
// replaced and stays the current media; --prune deletes what the catalogue does not name.
TEST(Catalogue, OnlyWhatDiffersChanges) {
  Tree tree("lmq700k");
  const fs::path catalogue = tree.dir / "catalogue";
  write_file(catalogue, "Asset24\t24\t100\nTube12\t12\t50\n");
  Result result;
  EXPECT_LE(writes_and_calls(tree, apply(catalogue), result), 14);
  EXPECT_EQ(result.out, "add\tTube12\t12\t50\n");
  const Files applied = tree.files();
  EXPECT_EQ(writes_and_calls(tree, apply(catalogue), result), 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(tree.files(), applied);
  write_file(catalogue, "Tube12\t12\t50\nAsset24\t24\t90\n");
  EXPECT_EQ(tree.run(apply(catalogue)).out, "replace\tAsset24\t24\t90\n");
  EXPECT_NE(tree.run({"--list"})
                .out.find("Asset24\t22\t90\tVtL_vtS24mm__07160"
                          "5A7E240\tcurrent\n"),
            std::string::npos);
  // A tube wider than any tape differs in its key alone.
  write_file(catalogue, "Tube12\t12\t50\nAsset24\t24\t90\nHS30\t30\t50\n");
  EXPECT_EQ(tree.run(apply(catalogue)).out, "add\tHS30\t30\t50\n");
  write_file(catalogue, "Tube12\t12\t50\nAsset24\t24\t90\nHS30\t40\t50\n");
  EXPECT_EQ(tree.run(apply(catalogue)).out, "replace\tHS30\t40\t50\n");
  write_file(catalogue, "Asset24\t24\t90\n");
  EXPECT_EQ(tree.run(apply(catalogue, true)).out, "delete\tTube12\ndelete\tHS30\n");
  EXPECT_EQ(tree.catalogue(), tree.registry());
  EXPECT_EQ(tree.run({"--check"}).out, "");
  // Names alone, as an export lists them, go in one change; a name on no file is no change.
  write_file(catalogue, "# gone everywhere\nAsset24\t24\t90\nNope\n");
  EXPECT_EQ(tree.run({"-P", "q1", "--delete-listed", catalogue.string()}).out, "delete\tAsset24\n");
  EXPECT_EQ(tree.sibling_calls(), "-d -n -d -n -d -n -d -n -d -d -d");
  EXPECT_EQ(tree.run({"--list"}).out, "");
}

// A catalogue that cannot be applied whole is refused, and a dry run only says what would
// change: either way nothing is asked of the print system, and nothing changes.
TEST(Catalogue, RefusalsAndDryRunsChangeNothing) {
  std::string too_many;
  for (int i = 0; i <= 100000; ++i) too_many += "F" + std::to_string(i) + "\t12\t50\n";
  const Words prune{"-P", "q1", "--prune", "--apply", "<catalogue>"};
  // clang-format off
  const struct {
    Words command;
    std::string text;  // the catalogue; "<dir>" makes it a directory
    std::string out;
    int status;
    std::string err;  // after the catalogue's name, when there is one
  } rows[] = {
      {prune, "A\t12\t50\nB\t5O\t50\n", "", 255, ":2: format 'B': -w '5O': not a whole number of millimetres"},
      {prune, "A\t12\n", "", 255, ":1: not <name><TAB><width><TAB><length>"},
      {prune, "\n# a comment\nA\t40\t50\n", "", 255, ":3: format 'A': -w '40': wider than the widest tape this model prints"},
      {prune, "\033x[CustomTape]\t12\t50\n", "", 255, ":1: format '\\033x[CustomTape]': -n: the label name holds [CustomTape]"},
      {prune, std::string("A\0B\t12\t50\n", 10), "", 255, ":1: format 'A\\000B': -n: the label name holds a zero byte"},
      {prune, "A\t12\t50\r\nB\t9\t9\nA\t9\t9\n", "", 255, ":3: format 'A': named again; first on line 1"},
      {prune, "<dir>", "", 255, ": Is a directory"},
      {prune, std::string(5000, 'x'), "", 255, ":1: longer than 4096 bytes"},
      {prune, "A\t12\t50\nB\t12\t5", "", 255, ":2: no line feed at its end; the catalogue may be cut short"},
      {prune, too_many, "", 255, ":100001: more than 100000 formats"},
      {prune, "# a failed export left nothing\n\n", "", 255, ": names no format, so --prune would delete every format on file; give --allow-empty to mean that"},
      {{"-P", "q1", "--dry-run", "--prune", "--allow-empty", "--apply", "/dev/null"}, "", "delete\tAsset24\n", 0, ""},
      {{"-P", "q1", "--dry-run", "--apply", "<catalogue>"}, "\xEF\xBB\xBFTube12\t12\t50\n", "add\tTube12\t12\t50\n", 0, ""},
      {{"--dry-run", "-P", "q1", "-n", "Tube12", "-w", "12", "-h", "50"}, "", "add\tTube12\t12\t50\n", 0, ""},
      {{"-P", "q1", "-n", "Asset24", "-w", "12", "-h", "50", "--dry-run"}, "", "replace\tAsset24\t12\t50\n", 0, ""},
      {{"-P", "q1", "--dry-run", "-d", "Asset24"}, "", "delete\tAsset24\n", 0, ""},
      {{"-P", "q1", "-d", "Nope", "--dry-run"}, "", "", 0, ""},
      {{"--repair", "--dry-run"}, "", "VtL_vtS24mm__0716064A0F3E\tAsset24\trebuilt in ImagingArea\n", 0, ""},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.command) + row.text.substr(0, 40));
    Tree tree("lmq700k");
    write_file(tree.inf / "ImagingArea", "");
    const Files before = tree.files();
    const fs::path catalogue = tree.dir / "catalogue";
    row.text == "<dir>" ? (void)fs::create_directory(catalogue) : write_file(catalogue, row.text);
    Words command = row.command;
    std::replace(command.begin(), command.end(), std::string("<catalogue>"), catalogue.string());
    const Result result = tree.run(command);
    EXPECT_EQ(result.out, row.out);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.err, row.err.empty()
                              ? ""
                              : "vtpapertoollpr_lmq700k: " + catalogue.string() + row.err + "\n");
    EXPECT_EQ(tree.files(), before);
    EXPECT_EQ(tree.sibling_log(), "");
  }
}

// The print system refuses the k-th format's add: the files hold the formats before it,
// which standard output names, that format as a refused single add leaves it (a replaced
// one gone), and nothing after it.
TEST(Catalogue, RefusalAtTheKthFormat) {
  const std::string names[] = {"X1", "Asset24", "X3"};
  const std::string out[] = {"", "add\tX1\t12\t50\ndelete\tAsset24\n",
                             "add\tX1\t12\t50\nreplace\tAsset24\t12\t50\n"};
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    Tree tree("lmq700k");
    write_file(tree.lpd / "standin.during",
               "cd \"$(dirname \"$0\")\"; [ \"$1\" = add ] || exit 0\n"
               "echo x >>adds; [ \"$(wc -l <adds)\" -eq " +
                   std::to_string(k) + " ] && echo add >standin.fail; exit 0\n");
    write_file(tree.dir / "catalogue", "X1\t12\t50\nAsset24\t12\t50\nX3\t12\t50\n");
    const Result result = tree.run(apply(tree.dir / "catalogue"));
    EXPECT_EQ(result.out, out[k - 1]);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "vtpapertoollpr_lmq700k: format '" + names[k - 1] +
                              "': " + (tree.lpd / "vtpapertoolcups_lmq700k").string() +
                              ": exited with status 1\n");
    EXPECT_EQ(tree.catalogue(), tree.registry());
    EXPECT_EQ(tree.catalogue().size(), k == 3 ? 2u : 1u);
  }
}

}  // namespace
