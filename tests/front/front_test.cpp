// The command line as a user types it: identification, the usage screen, every rejection
// and size fitting, judged by the output and by the line each add leaves in the paper table.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace {

std::string usage(const std::string& id, const std::string& display) {
  std::string screen = read_file(fs::path(SOURCE_DIR) / "tests/data/usage_lmq700k.txt");
  screen.replace(screen.find("@VERSION@"), 9, VTPAPERTOOL_VERSION);
  const std::string example = id + " -P " + display;
  for (size_t at = 0; (at = screen.find("lmq700k -P LM-Q700k", at)) != std::string::npos;) {
    screen.replace(at, 19, example);
    at += example.size();
  }
  return screen;
}

struct Row {
  std::string model;
  Words args;
  std::string out;          // exit status 2 with the usage screen or an invalid name, else 0
  std::string err;          // after the program's name and ": ", unless empty
  std::string paper_entry;  // the line the paper table gains; "" when it must not change
  std::string name = "";    // the invocation name, when not vtpapertoollpr_<model>
};

TEST(Front, CommandLines) {
  const std::string tape = usage("lmq700k", "LM-Q700k");
  const std::string roll = usage("rk260", "");
  // clang-format off
  const Row rows[] = {
      {"lmq700k", {"-P", "q1", "-d", "A"}, "vtpapertoollpr is invalid.\n\n", "program name: no printer model in it; start the tool as vtpapertoollpr_<model>", "", "vtpapertoollpr"},
      {"lmq700k", {"--version"}, "VTPAPERTOOLLPR_RK210 is invalid.\n\n", "program name: no printer model in it; start the tool as vtpapertoollpr_<model>", "", "VTPAPERTOOLLPR_RK210"},
      {"lmq700k", {}, tape, "no option given", "", "/usr/local/bin/vtpapertoollpr_lmq700k"},
      {"lmq700k", {}, usage("lm4200fx", "LM-4200FX"), "no option given", "", "vtpapertoollpr_lm4200"},
      {"lmq700k", {}, usage("lmq700", "LM-Q700"), "no option given", "", "x_lmq700"},
      {"lmq700k", {}, usage("rk210", ""), "no option given", "", "rk260-rk210"},
      {"lmq700k", {"--version"}, "vtpapertoollpr " VTPAPERTOOL_VERSION "\n", "", ""},
      {"lmq700k", {"--help"}, tape + read_file(fs::path(SOURCE_DIR) / "tests/data/more_options.txt"), "", ""},
      {"lmq700k", {"--version", "x"}, tape, "--version: stands alone after the program name, with no other word", ""},
      {"lmq700k", {"-P"}, tape, "option '-P' has no value", ""},
      {"lmq700k", {"-Pq1", "--dry-run", "-n", "Glued", "-w", "12", "-h", "50"}, tape, "-Pq1: -P and its value are separate words", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w12", "-h", "50"}, tape, "-w12: -w and its value are separate words", ""},
      {"lmq700k", {"-P", "q1", "-n", "-w", "12", "-h", "50"}, tape, "-n: no value before the option -w", ""},
      {"lmq700k", {"-P", "q1", "--name=X", "-w", "12", "-h", "50"}, tape, "unknown option '--name=X'", ""},
      {"lmq700k", {"--allow-empty", "--list"}, tape, "--allow-empty goes only with --prune", ""},
      {"lmq700k", {"--model"}, "lmq700k\n", "", ""},
      {"lmq700k", {"--bogus"}, tape, "unknown option '--bogus'", ""},
      {"lmq700k", {"-P", "q1"}, tape, "no label name given with -n or -d", ""},
      {"lmq700k", {"-x", "1", "-P", "q1", "-d", "A"}, tape, "unknown option '-x'", ""},
      {"lmq700k", {"-P", "", "-d", "A"}, tape, "-P: the printer name is empty", ""},
      {"lmq700k", {"-P", std::string(1025, 'p'), "-d", "A"}, tape, "-P: the printer name is longer than 1024 bytes", ""},
      {"lmq700k", {"-P", "q1", "-d", std::string(33, 'n')}, tape, "-d: the label name is longer than 32 bytes", ""},
      {"lmq700k", {"-P", "q1", "-d", "a\nb"}, tape, "-d: the label name holds a line break", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-d", "A"}, tape, "-n and -d cannot be given together", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12"}, tape, "-n needs -h too", ""},
      {"lmq700k", {"-P", "q1", "-w", "0", "-d", "A"}, tape, "-w '0': not a size above 0 mm", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "abc", "-h", "5"}, tape, "-w 'abc': not a whole number of millimetres", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12", "-h", "50.5"}, tape, "-h '50.5': not a whole number of millimetres", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12 mm", "-h", "5"}, tape, "-w '12 mm': not a whole number of millimetres", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12", "-h", ""}, tape, "-h '': not a whole number of millimetres", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12", "-h", std::string(33, '5')}, tape, "-h '" + std::string(33, '5') + "': longer than 32 bytes", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12", "-h", " 99999999999999999999999"}, "", "-h ' 99999999999999999999999': held to 1000 mm", "VtL_vtS12mm__010A3E87E240/A:\t150\t14151"},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "12", "-h", "-5"}, tape, "-h '-5': not a size above 0 mm", ""},
      {"lmq700k", {"-P", "q1", "-n", "A", "-w", "37", "-h", "50"}, tape, "-w '37': wider than the widest tape this model prints", ""},
      {"lmq700k", {"-P", "q1", "-n", "x[CustomTape]", "-w", "12", "-h", "50"}, tape, "-n: the label name holds [CustomTape]", ""},
      {"lmq700k", {"-P", "q1", "-n", "xVtL_vtS12mm__060A0327E240", "-w", "9", "-h", "9"}, tape, "-n: the label name holds a format key", ""},
      {"rk260", {"-P", "q1", "-n", "A", "-w", "3000000000", "-h", "50"}, roll, "-w '3000000000': too wide for the data files", ""},
      {"lmq700k", {"-P", "q1", "-n", "T", "-w", " +4", "-h", "4mm"}, "", "",
       "VtL_vtS3.5mm_01020047E240/T:\t48\t56"},
      {"lmq700k", {"-P", "q1", "-n", "HS12", "-w", "12", "-h", "800"}, "", "-h '800': held to 500 mm",
       "VtL_vtHS12mm_04091F47E240/HS12:\t132\t7075"},
      {"lmq700k", {"-P", "q1", "-w", "12", "-h", "50", "-n", "HS12"}, "", "",
       "VtL_vtS12mm__040A0327E240/HS12:\t150\t707"},
      {"lmq700k", {"-P", "q1", "-n", "T", "-w", "12", "-w", "7", "-h", "50"}, "", "",
       "VtL__________01070327E240/T:\t106\t707"},
      {"lmq700k", {"-Pq1", "x", "-n", "A", "-n", "BB", "-w", "12mm", "-h", "50"}, "", "",
       "VtL_vtS12mm__020A0327E240/BB:\t150\t707"},
      {"lmq700k", {"-P", "q1", "-d", "Missing"}, "Not found 'Missing'\n", "", ""},
      {"rk260", {"-P", "q1", "-d", "W", "-w", "3"}, roll, "-w '3': narrower than 4 mm, which prints nothing", ""},
      {"rk260", {"-P", "q1", "-n", "W", "-w", "29", "-h", "6"}, roll, "-h '6': shorter than 7 mm, which prints nothing", ""},
      {"rk260", {"-P", "q1", "-n", "W", "-w", "4", "-h", "7"}, "", "",
       "VtL__________01040077E240/W:\t11\t11"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + " " + ::testing::PrintToString(row.args));
    Tree tree(row.model);
    const std::string paper = read_file(tree.inf / ("paperinf" + row.model));
    const Result result = tree.run(row.args, {}, row.name);
    EXPECT_EQ(result.out, row.out);
    const std::string program = row.name.empty() ? "vtpapertoollpr_" + row.model : row.name;
    EXPECT_EQ(result.err, row.err.empty() ? "" : program + ": " + row.err + "\n");
    EXPECT_EQ(result.status, !row.err.empty() && !row.out.empty() ? 2 : 0);
    EXPECT_EQ(read_file(tree.inf / ("paperinf" + row.model)),
              paper + row.paper_entry + (row.paper_entry.empty() ? "" : "\n"));
  }
}

}  // namespace
