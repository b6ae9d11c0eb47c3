// Add and delete end to end: the test build run under model names against a throwaway
// driver tree with the sibling stand-in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/harness.h"

namespace {

const char kTubeKey[] = "VtL_vtS12mm__060A0327E240";   // Tube12, 12 mm tape, 50 mm, clock 7.123456
const char kAssetKey[] = "VtL_vtS24mm__0716064A0F3E";  // in the lmq700k sample files
const std::vector<std::string> kAddTube{"-P", "q1", "-n", "Tube12", "-w", "12", "-h", "50"};

std::string after_header(const std::string& text, const std::string& line) {
  const std::string header = "[CustomTape]\n";
  std::string changed = text;
  return changed.insert(changed.find(header) + header.size(), line);
}

size_t lines_holding(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// How the stand-in logs a word: backslash and line feed escaped.
std::string logged(const std::string& word) {
  std::string out;
  for (const char c : word) out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
  return out;
}

std::vector<std::string> delete_call(const std::string& printer, const std::string& name) {
  return {"-P", logged(printer), "-d", logged(name), "-show", "1"};
}

TEST(AddDelete, TapeFormatIsEnteredThenRemovedByteForByte) {
  DriverTree tree("lmq700k");
  const auto before = tree.snapshot();
  const RunResult added = tree.run(kAddTube);
  EXPECT_EQ(added.out, "");
  EXPECT_EQ(added.status, 0);
  EXPECT_EQ(tree.sibling_calls(), (SiblingCalls{delete_call("q1", "Tube12"),
                                                {"-P", "q1", "-n", "Tube12", "-w", "10", "-h", "50",
                                                 "-specid", kTubeKey, "-show", "1"}}));
  const std::string key = kTubeKey;
  EXPECT_EQ(read_file(tree.function_file()),
            after_header(before.at(tree.function_file()), key + "/Tube12\n"));
  EXPECT_EQ(read_file(tree.paper_table()),
            before.at(tree.paper_table()) + key + "/Tube12:\t150\t707\n");
  EXPECT_EQ(read_file(tree.imaging_area()),
            before.at(tree.imaging_area()) + key + "\t:\t0.00\t0.00\t30.00\t141.52\n");
  EXPECT_EQ(read_file(tree.settings_file()), before.at(tree.settings_file()));

  const RunResult deleted = tree.run({"-P", "q1", "-d", "Tube12"});
  EXPECT_EQ(deleted.out, "");
  EXPECT_EQ(deleted.status, 0);
  EXPECT_EQ(tree.snapshot(), before);
  EXPECT_EQ(tree.sibling_calls().back(), delete_call("q1", "Tube12"));
}

TEST(AddDelete, DeletingTheCurrentMediaResetsItToTheDefault) {
  DriverTree tape("lmq700k");
  const auto before = tape.snapshot();
  ASSERT_EQ(tape.run({"-P", "q1", "-d", "Asset24"}).status, 0);
  const auto after = tape.snapshot();
  EXPECT_EQ(after.at(tape.settings_file()), "Media=vtS12mm\nCopies=1\nAutoCut=1\nDensity=0\n");
  for (const std::string& path : tape.data_files()) {
    EXPECT_EQ(lines_holding(after.at(path), kAssetKey), 0u) << path;
    EXPECT_EQ(after.at(path).size() < before.at(path).size(), true) << path;
  }
  DriverTree roll("rk260");
  ASSERT_EQ(roll.run({"-P", "q1", "-n", "Roll29", "-w", "29", "-h", "90"}).status, 0);
  const std::string roll_key = "VtL__________061D05A7E240";
  EXPECT_EQ(lines_holding(read_file(roll.paper_table()), roll_key + "/Roll29:\t306\t990\n"), 1u);
  EXPECT_EQ(
      lines_holding(read_file(roll.imaging_area()), roll_key + "\t:\t0.00\t0.00\t0.00\t254.73\n"),
      1u);
  write_file(roll.settings_file(), "Copies=1\nMediaSize=" + roll_key + "\nQuality=Normal");
  ASSERT_EQ(roll.run({"-P", "q1", "-d", "Roll29"}).status, 0);
  EXPECT_EQ(read_file(roll.settings_file()), "Copies=1\nMediaSize=29X1\nQuality=Normal");
}

TEST(AddDelete, AddingAgainReplacesTheFormat) {
  DriverTree tree("lmq700k");
  ASSERT_EQ(tree.run(kAddTube, "1.1").status, 0);
  ASSERT_EQ(tree.run(kAddTube, "2.2").status, 0);
  for (const std::string& path : {tree.function_file(), tree.paper_table()}) {
    EXPECT_EQ(lines_holding(read_file(path), "/Tube12"), 1u) << path;
  }
  EXPECT_EQ(lines_holding(read_file(tree.imaging_area()), "VtL_vtS12mm__060A0322"), 1u);
}

TEST(AddDelete, EveryModelAddsAndDeletes) {
  for (const char* model :
       {"rk210", "rk260", "rk380xn", "lm4200fx", "lmq750ks", "lmq700k", "lmq700"}) {
    DriverTree tree(model);
    const auto before = tree.snapshot();
    EXPECT_EQ(tree.run({"-P", "q1", "-n", "Label", "-w", "24", "-h", "70"}).status, 0) << model;
    EXPECT_EQ(lines_holding(read_file(tree.function_file()), "/Label\n"), 1u) << model;
    EXPECT_EQ(tree.run({"-P", "q1", "-d", "Label"}).status, 0) << model;
    EXPECT_EQ(tree.snapshot(), before) << model;
  }
}

TEST(Dispatch, OptionOrderAndRepeatsAsTheScannerReadsThem) {
  struct Case {
    std::vector<std::string> options;
    size_t call;
    size_t word;
    const char* expected;
  } cases[] = {
      {{"-Pq1", "x", "-d", "A"}, 0, 1, "x"},
      {{"-P", "q1", "-n", "A", "-n", "BB", "-w", "12", "-h", "50"}, 1, 3, "BB"},
      {{"-P", "q1", "-w", "12", "-h", "50", "-n", "HS12"}, 1, 5, "10"},
      {{"-P", "q1", "-n", "HS12", "-w", "12", "-h", "50"}, 1, 5, "9"},
      {{"-P", "q1", "-n", "HS12", "-w", "12", "-h", "800"}, 1, 7, "500"},
      {{"-P", "q1", "-n", "A", "-w", " +12mm", "-h", "2"}, 1, 7, "4"},
  };
  for (const Case& c : cases) {
    DriverTree tree("lmq700k");
    EXPECT_EQ(tree.run(c.options).status, 0) << c.options[3];
    const SiblingCalls calls = tree.sibling_calls();
    ASSERT_GT(calls.size(), c.call) << c.options[3];
    EXPECT_EQ(calls[c.call][c.word], c.expected) << c.options[3];
  }
}

TEST(Dispatch, LargestSizesThatFitTheRecords) {
  DriverTree roll("rk260");
  ASSERT_EQ(roll.run({"-P", "q1", "-n", "R", "-w", "182096569", "-h", "182096572"}).status, 0);
  EXPECT_EQ(lines_holding(read_file(roll.paper_table()), "/R:\t2147483640\t2147483640\n"), 1u);
  DriverTree tape("lmq700k");
  ASSERT_EQ(tape.run({"-P", "q1", "-n", "HS", "-w", "2147483647", "-h", "50"}).status, 0);
  EXPECT_EQ(tape.sibling_calls()[1][5], "2147483647");
  EXPECT_EQ(lines_holding(read_file(tape.function_file()), "VtL__________02FF0327E240/HS\n"), 1u);
  ASSERT_EQ(tape.run({"-P", "q1", "-d", "HS"}).out, "");
  EXPECT_EQ(lines_holding(read_file(tape.paper_table()), "/HS:"), 0u);
}

TEST(Failures, SiblingFailureLeavesEveryFileAndExits255) {
  DriverTree tree("lmq700k");
  const auto before = tree.snapshot();
  tree.make_sibling_fail();
  for (const auto& options : {kAddTube, std::vector<std::string>{"-P", "q1", "-d", "Asset24"}}) {
    const RunResult result = tree.run(options);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(tree.snapshot(), before);
  }
  tree.make_sibling_fail("add");
  const RunResult replaced = tree.run({"-P", "q1", "-n", "Asset24", "-w", "24", "-h", "100"});
  EXPECT_EQ(replaced.out, "");
  EXPECT_EQ(replaced.status, 255);
  EXPECT_EQ(lines_holding(read_file(tree.function_file()), "Asset24"), 0u);
}

TEST(AddDelete, LookupsFollowTheFunctionFileThenThePaperTable) {
  DriverTree tree("rk260");
  const std::string k1 = "VtL__________011D05A10001";
  const std::string k2 = "VtL__________011D05A20002";
  const std::string k3 = "VtL__________011D05A30003";
  write_file(tree.function_file(), "[CustomTape]\n" + k1 + "/N\n" + k2 + "/N\n" + k3 + "/n\n");
  write_file(tree.paper_table(), k2 + "/N:\t1\t2\n" + k1 + "/N:\t1\t2\n" + k3 + "/n:\t1\t2\n");
  write_file(tree.imaging_area(), k1 + "\tI\n" + k2 + "\tI\n" + k3 + "\tI\n");
  write_file(tree.settings_file(), "MediaSize=" + k2 + "\n");
  ASSERT_EQ(tree.run({"-P", "q1", "-d", "N"}).out, "");
  EXPECT_EQ(read_file(tree.function_file()), "[CustomTape]\n" + k2 + "/N\n" + k3 + "/n\n");
  EXPECT_EQ(read_file(tree.paper_table()), k1 + "/N:\t1\t2\n" + k3 + "/n:\t1\t2\n");
  EXPECT_EQ(read_file(tree.imaging_area()), k1 + "\tI\n" + k3 + "\tI\n");
  EXPECT_EQ(read_file(tree.settings_file()), "MediaSize=29X1\n");

  write_file(tree.paper_table(), k3 + "/n:\t1\t2\n");
  const RunResult half = tree.run({"-P", "q1", "-d", "N"});
  EXPECT_EQ(half.out, "Not found 'N'\n");
  EXPECT_EQ(half.status, 0);
  EXPECT_EQ(read_file(tree.function_file()), "[CustomTape]\n" + k3 + "/n\n");
  EXPECT_EQ(read_file(tree.imaging_area()), k1 + "\tI\n" + k3 + "\tI\n");
}

TEST(Failures, MissingNameIsReportedAfterAskingTheSibling) {
  DriverTree tree("lmq700k");
  const auto before = tree.snapshot();
  const RunResult result = tree.run({"-P", "q1", "-d", "Missing"});
  EXPECT_EQ(result.out, "Not found 'Missing'\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(tree.sibling_calls(), SiblingCalls{delete_call("q1", "Missing")});
  EXPECT_EQ(tree.snapshot(), before);
}

TEST(Failures, DataFileThatCannotBeOpenedIsNamedBySystemError) {
  DriverTree tree("lmq700k");
  ::unlink(tree.settings_file().c_str());
  const std::string imaging = read_file(tree.imaging_area());
  const RunResult deleted = tree.run({"-P", "q1", "-d", "Asset24"});
  EXPECT_EQ(deleted.out, "No such file or directory\n");
  EXPECT_EQ(deleted.status, 255);
  EXPECT_EQ(read_file(tree.imaging_area()), imaging);
  EXPECT_EQ(lines_holding(read_file(tree.paper_table()), kAssetKey), 0u);

  ::unlink(tree.imaging_area().c_str());
  const RunResult added = tree.run(kAddTube);
  EXPECT_EQ(added.out, "");
  EXPECT_EQ(added.status, 255);
  EXPECT_EQ(lines_holding(read_file(tree.paper_table()), kTubeKey), 1u);

  ::unlink(tree.function_file().c_str());
  ::mkdir(tree.function_file().c_str(), 0755);
  const RunResult odd = tree.run({"-P", "q1", "-d", "Tube12"});
  EXPECT_EQ(odd.out, "Is a directory\n");
  EXPECT_EQ(odd.status, 255);
}

TEST(Quoting, NoByteOfANameReachesTheShell) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"q1", "$(touch x)"},          {"q1", "`touch x`"},
      {"q1", "a;touch x"},           {"q1", "it's"},
      {"q1", "\"quoted\""},          {"q1", "back\\slash"},
      {"q1", "a name with spaces"},  {"q1", "*"},
      {"q1", "$HOME ~ !x"},          {"line\nfeed", "A"},
      {"$(touch x)", "A"},           {"a'b;touch x", "A"},
      {std::string(1024, 'p'), "A"},
  };
  for (const auto& [printer, name] : cases) {
    DriverTree tree("lmq700k");
    const auto before = tree.snapshot();
    ASSERT_EQ(tree.run({"-P", printer, "-n", name, "-w", "12", "-h", "50"}).status, 0) << name;
    ASSERT_EQ(tree.run({"-P", printer, "-d", name}).out, "") << name;
    const SiblingCalls calls = tree.sibling_calls();
    ASSERT_EQ(calls.size(), 3u) << name;
    EXPECT_EQ(calls[0], delete_call(printer, name)) << name;
    EXPECT_EQ(calls[1][1], logged(printer)) << name;
    EXPECT_EQ(calls[1][3], logged(name)) << name;
    EXPECT_EQ(calls[2], delete_call(printer, name)) << name;
    EXPECT_EQ(tree.snapshot(), before) << name;
    EXPECT_EQ(list_directory(tree.dir.path), (std::vector<std::string>{"bin", "opt"})) << name;
  }
}

}  // namespace
