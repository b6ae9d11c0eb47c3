// The command front end: identification, usage screen, scanner rejections, fitting.
#include <gtest/gtest.h>
#include <unistd.h>

#include "front/tape.h"
#include "support/harness.h"

namespace {

std::string usage_for(const std::string& id, const std::string& display) {
  return "===========================\n"
         " LPRng Paper Size Tool (v 0.2)\tAdds and deletes custom label formats of a label "
         "printer\n"
         " Usage: vtpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=32 bytes) -w "
         "Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n"
         " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and "
         "1000mm(HS tape max is 500mm)\n"
         " For example:\n"
         " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm "
         "length:\n"
         "\t\"vtpapertoollpr_" +
         id + " -P " + display +
         " -n New\\ Label Namw (\"HS\" contain name means heat srink tube ex.HS12mmx50mm)\\ "
         "Format -w 12 -h 50\" [enter]\n\n"
         " 2. Remove the Label Format with \"New Label Format\" name:\n"
         "\t\"vtpapertoollpr_" +
         id + " -P " + display +
         " -d New\\ Label\\ Format\" [enter]\n\n"
         "===========================\n";
}

// Runs the shipped program through a link of the given name (relative to a temp dir).
RunResult run_linked(const TempDir& dir, const std::string& name,
                     const std::vector<std::string>& options) {
  const std::string link = dir.path + "/" + name;
  const size_t slash = link.rfind('/');
  run_program("/bin/mkdir", {"mkdir", "-p", link.substr(0, slash)});
  ::symlink(TOOL_PATH, link.c_str());
  std::vector<std::string> words{link};
  words.insert(words.end(), options.begin(), options.end());
  return run_program(link, words);
}

TEST(Identification, ModelComesFromFirstKeyInInvocationName) {
  struct Case {
    const char* name;
    const char* id;
    const char* display;
  } cases[] = {
      {"vtpapertoollpr_lmq700k", "lmq700k", "LM-Q700k"},
      {"vtpapertoollpr_lmq700", "lmq700", "LM-Q700"},
      {"vtpapertoollpr_lm4200", "lm4200fx", "LM-4200FX"},
      {"vtpapertoollpr_lmq750ks", "lmq750ks", "LM-Q750ks"},
      {"some/dir/vtpapertoollpr_rk210", "rk210", ""},
      {"rk380xn/vtpapertoollpr", "rk380xn", ""},
      {"vtpapertoollpr_rk260-rk210", "rk210", ""},
      {"lmq700k_rk260", "rk260", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const RunResult result = run_linked(dir, c.name, {"--help"});
    EXPECT_EQ(result.out, usage_for(c.id, c.display)) << c.name;
    EXPECT_EQ(result.status, 0) << c.name;
  }
}

TEST(Identification, UnknownNameIsReportedWhateverFollows) {
  const std::vector<std::string> names{"vtpapertoollpr_xxxx", "VTPAPERTOOLLPR_RK210", ""};
  for (const std::string& name : names) {
    for (const auto& options :
         {std::vector<std::string>{}, std::vector<std::string>{"-P", "q1", "-d", "A"}}) {
      std::vector<std::string> words{name};
      words.insert(words.end(), options.begin(), options.end());
      const RunResult result = run_program(TOOL_PATH, words);
      EXPECT_EQ(result.out, name + " is invalid.\n\n") << name;
      EXPECT_EQ(result.status, 0) << name;
    }
  }
}

TEST(Identification, VersionAfterIdentification) {
  TempDir dir;
  const RunResult version = run_linked(dir, "vtpapertoollpr_rk260", {"--version"});
  EXPECT_EQ(version.out, "vtpapertoollpr 0.2\n");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(run_program(TOOL_PATH, {"vtpapertoollpr", "--version"}).out,
            "vtpapertoollpr is invalid.\n\n");
}

TEST(Scanner, MalformedCommandLinesGetTheUsageScreen) {
  const std::string long_printer(1025, 'p');
  const std::string long_name(33, 'n');
  const std::vector<std::vector<std::string>> cases{
      {},
      {"-P"},
      {"-P", "q1"},
      {"-P", "q1", "-d"},
      {"-P", "q1", "-x", "A"},
      {"-", "q1", "-d", "A"},
      {"-P", "", "-d", "A"},
      {"-P", long_printer, "-d", "A"},
      {"-P", "q1", "-d", long_name},
      {"-P", "q1", "-d", ""},
      {"-P", "q1", "-n", "line\nfeed", "-w", "12", "-h", "50"},
      {"-P", "q1", "-d", "carriage\rreturn"},
      {"-P", "q1", "-n", "A", "-d", "A"},
      {"-P", "q1", "-n", "A", "-w", "12"},
      {"-P", "q1", "-n", "A", "-h", "50"},
      {"-n", "A", "-w", "12", "-h", "50"},
      {"-P", "q1", "-w", "12", "-h", "50"},
      {"-P", "q1", "-w", "0", "-d", "A"},
      {"-P", "q1", "-w", "abc", "-d", "A"},
      {"-P", "q1", "-w", "-5", "-d", "A"},
      {"-P", "q1", "-h", "0", "-d", "A"},
      {"-P", "q1", "-h", "", "-d", "A"},
      {"-P", "q1", "-w", "000000000000000000000000000000012", "-d", "A"},
      {"-P", "q1", "-n", "A", "-w", "37", "-h", "50"},
      {"-P", "q1", "-n", "A", "-w", "99999999999999999999", "-h", "50"},
      {"-P", "q1", "-n", "HS", "-w", "2147483648", "-h", "50"},
  };
  // The test build against a throwaway tree: a line wrongly taken for a command must
  // show up as a call of the sibling stand-in, never as a change to a real driver.
  DriverTree tree("lmq700k");
  const auto before = tree.snapshot();
  for (const auto& options : cases) {
    std::string shown;
    for (const std::string& word : options) shown += "[" + word + "]";
    const RunResult result = tree.run(options);
    EXPECT_EQ(result.out, usage_for("lmq700k", "LM-Q700k")) << shown;
    EXPECT_EQ(result.status, 0) << shown;
  }
  EXPECT_FALSE(file_exists(tree.lpd("standin.log")));
  EXPECT_EQ(tree.snapshot(), before);
}

TEST(Scanner, RollSizesStopWhereDotCountsLeave32Bits) {
  DriverTree tree("rk260");
  const std::vector<std::vector<std::string>> rejected{
      {"-P", "q1", "-n", "R", "-w", "182096570", "-h", "90"},
      {"-P", "q1", "-n", "R", "-w", "29", "-h", "182096573"},
      {"-P", "q1", "-n", "R", "-w", "2147483648", "-h", "90"},
  };
  for (const auto& options : rejected) {
    const RunResult result = tree.run(options);
    EXPECT_EQ(result.out, usage_for("rk260", "")) << options[5] << "x" << options[7];
    EXPECT_EQ(result.status, 0) << options[5] << "x" << options[7];
  }
  EXPECT_FALSE(file_exists(tree.lpd("standin.log")));
}

TEST(TapeFitting, WidthsAndLengthsFollowTheTapeTables) {
  struct Case {
    const char* name;
    int64_t width;
    bool accepted;
    int64_t fitted;
    const char* media;
    int64_t dots;
  } cases[] = {
      {"Tube", 12, true, 10, "_vtS12mm__", 150},
      {"Tube", 3, true, 2, "_vtS3.5mm_", 48},
      {"Tube", 4, true, 2, "_vtS3.5mm_", 48},
      {"Tube", 5, true, 2, "_vtS3.5mm_", 48},
      {"Tube", 6, true, 4, "_vtS6mm___", 64},
      {"Tube", 10, true, 10, "", 150},
      {"Tube", 2, true, 2, "", 48},
      {"Tube", 36, true, 31, "_vtS36mm__", 454},
      {"Tube", 37, false, 37, "", 0},
      {"HS-12", 12, true, 9, "_vtHS12mm_", 132},
      {"tube-hs", 24, true, 18, "_vtHS24mm_", 256},
      {"HS-12", 30, true, 30, "", 0},
      {"Hs12", 12, true, 10, "_vtS12mm__", 150},
      {"hS12", 40, false, 40, "", 0},
  };
  for (const Case& c : cases) {
    FormatRequest request;
    request.model_kind = kTapeModelKind;
    request.label_name = c.name;
    request.width_mm = c.width;
    EXPECT_EQ(fit_tape_width(request), c.accepted) << c.name << " " << c.width;
    EXPECT_EQ(request.width_mm, c.fitted) << c.name << " " << c.width;
    EXPECT_EQ(request.tape_media, c.media) << c.name << " " << c.width;
    EXPECT_EQ(request.print_width_dots, c.dots) << c.name << " " << c.width;
  }
}

TEST(TapeFitting, SecondWidthKeepsMediaOfFirstTrim) {
  FormatRequest request;
  request.model_kind = kTapeModelKind;
  request.width_mm = 12;
  ASSERT_TRUE(fit_tape_width(request));
  request.width_mm = 7;
  ASSERT_TRUE(fit_tape_width(request));
  EXPECT_EQ(request.width_mm, 7);
  EXPECT_EQ(request.tape_media, "_vtS12mm__");
  EXPECT_EQ(request.print_width_dots, 106);
}

TEST(TapeFitting, LengthsStayWithinTheTapeLimits) {
  struct Case {
    const char* name;
    int64_t length;
    int64_t limited;
  } cases[] = {
      {"Tube", 2, 4},        {"Tube", 3, 4},
      {"Tube", 4, 4},        {"Tube", 800, 800},
      {"Tube", 1000, 1000},  {"Tube", 1001, 1000},
      {"tube-hs", 800, 500}, {"HS", 500, 500},
      {"HS", 2, 4},          {"Tube", INT64_MAX, 1000},
  };
  for (const Case& c : cases) {
    FormatRequest request;
    request.model_kind = kTapeModelKind;
    request.label_name = c.name;
    request.length_mm = c.length;
    limit_tape_length(request);
    EXPECT_EQ(request.length_mm, c.limited) << c.name << " " << c.length;
  }
}

}  // namespace
