// Adding, deleting and listing formats on the sample trees, as a user meets them: what
// each command prints and what --list then shows, with the data files set up odd ways.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include "support/harness.h"

namespace {

const char kAsset[] = "Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\tcurrent\n";
const char kAssetKey[] = "VtL_vtS24mm__0716064A0F3E";
const Words kDeleteAsset{"-P", "q1", "-d", "Asset24"};
const char kOtherKey[] = "VtL_vtS12mm__070A0327AAAA";
const char kNoHeader[] =
    "/vtlmq700kfunc: has no [CustomTape] line, so no format can be entered there\n";
const char kNoHeaderHere[] =
    "vtlmq700kfunc has no [CustomTape] line, so adding cannot enter formats there\n";
// What --check says of the sample settings file once Asset24 is not whole.
const std::string kStale =
    std::string(kAssetKey) + "\tAsset24\tcurrent media in vtlmq700krc, but not a whole format\n";

// The text with every line ended in CR LF.
std::string crlf(const std::string& text) {
  std::string ended;
  for (const char c : text) ended += c == '\n' ? "\r\n" : std::string(1, c);
  return ended;
}

std::string without(std::string text, const std::string& line) {
  return text.erase(text.find(line), line.size());
}

Words add(const std::string& name, const std::string& width, const std::string& length) {
  return {"-P", "q1", "-n", name, "-w", width, "-h", length};
}

// The file with every line that holds text taken out.
void drop_lines(const fs::path& path, const std::string& text) {
  std::istringstream lines(read_file(path));
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    kept += line.find(text) > line.size() ? line + "\n" : "";
  write_file(path, kept);
}

// A second whole format named Asset24, as a hand edit could leave it.
void add_second_asset(const Tree& t) {
  const auto append = [&t](const char* file, const std::string& line) {
    write_file(t.inf / file, read_file(t.inf / file) + line);
  };
  append("vtlmq700kfunc", std::string(kOtherKey) + "/Asset24\n");
  append("paperinflmq700k", std::string(kOtherKey) + "/Asset24:\t150\t707\n");
  append("ImagingArea", std::string(kOtherKey) + "\t:\t0.00\t0.00\t30.00\t141.52\n");
}

struct Step {
  Words args;
  std::string out;
  int status = 0;
  std::string err = "";  // what standard error must hold, after the program's name
};

struct Case {
  std::string what;
  std::string model;
  std::function<void(const Tree&)> setup;
  std::vector<Step> steps;
  std::string listing;     // what --list shows at the end
  bool unchanged = false;  // the data files must keep their first bytes
  std::string file = "";   // a file under bin/ that must then hold the text holds
  std::string holds = "";
  std::string calls = "?";  // the sibling tool's calls (sibling_calls), unless "?"
};

TEST(Ops, Commands) {
  const std::string odd_name = "a\"$b`x`'q'\\ z";
  const std::string unterminated = std::string(150, 'y') + "\t:\t0\t0\t0\t0";
  // Entries behind 0 to 129 look-alike bytes: a key at every offset in a searched chunk.
  std::string marks;
  std::string listed_marks;
  for (int k = 100; k < 230; ++k) {
    const std::string key = "VtL_vtS24mm__0418064" + std::to_string(k) + "00";
    marks += std::string(k - 100, 'V') + key + "/M" + std::to_string(k) + "\n";
    listed_marks += "M" + std::to_string(k) + "\t-\t-\t" + key + "\tincomplete\n";
  }
  // clang-format off
  const Case cases[] = {
      {"add then delete gives back every byte", "lmq700k", [](const Tree&) {},
       {{add("Tube12", "12", "50"), ""}, {{"-P", "q1", "-d", "Tube12"}, ""}}, kAsset, true},
      {"add then delete gives back every byte", "rk260", [](const Tree&) {},
       {{add("Roll29", "29", "90"), ""}, {{"-P", "q1", "-d", "Roll29"}, ""}}, "", true},
      {"a format only the paper table holds", "lmq700k",
       [](const Tree& t) { drop_lines(t.inf / "vtlmq700kfunc", kAssetKey); },
       {{{"--list"}, "Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n"},
        {kDeleteAsset, ""}}, ""},
      {"a format only the function file holds", "lmq700k",
       [](const Tree& t) { drop_lines(t.inf / "paperinflmq700k", kAssetKey); },
       {{{"--list"}, "Asset24\t-\t-\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n"},
        {kDeleteAsset, "Not found 'Asset24'\n"}}, ""},
      {"no [CustomTape] line", "lmq700k",
       [](const Tree& t) { drop_lines(t.inf / "vtlmq700kfunc", "[CustomTape]"); },
       {{add("X", "12", "50"), "", 255, kNoHeader}, {add("Asset24", "12", "50"), "", 255, kNoHeader}},
       kAsset, true, "", "", ""},
      {"a name held by two formats", "lmq700k", [](const Tree& t) { add_second_asset(t); },
       {{{"--check"}, std::string(kAssetKey) + "\tAsset24\tone of 2 formats with this name\n" +
                      kOtherKey + "\tAsset24\tone of 2 formats with this name\n", 1},
        {kDeleteAsset, ""}}, "", false, "inf/vtlmq700krc", "Media=vtS12mm\n", "-d"},
      {"a replacing add is one change, takes every format of the name, and stays the current media", "lmq700k",
       [](const Tree& t) { add_second_asset(t); },
       {{add("Asset24", "12", "50"), ""}}, "Asset24\t10\t50\tVtL_vtS12mm__070A0327E240\tcurrent\n",
       false, "inf/vtlmq700krc", "Media=VtL_vtS12mm__070A0327E240\nCopies=1\n", "-d -n"},
      {"keys stay unique, and a name on no file is still deleted by the sibling tool", "lmq700k", [](const Tree&) {},
       {{add("A", "12", "50"), ""}, {add("B", "12", "50"), ""}, {{"-P", "q1", "-d", "A"}, ""},
        {{"-P", "q1", "-d", "Nope"}, "Not found 'Nope'\n"}},
       std::string(kAsset) + "B\t10\t50\tVtL_vtS12mm__010A0327E241\t-\n", false, "", "", "-d -n -d -n -d -d"},
      {"roll sizes read back exactly", "rk260", [](const Tree&) {},
       {{add("W1", "4", "7"), ""}, {add("W2", "300", "5000"), ""}, {add("W3", "182096569", "90"), ""}},
       "W1\t4\t7\tVtL__________0204007" "7E240\t-\nW2\t300\t5000\tVtL__________022C3887E240\t-\n"
       "W3\t182096569\t90\tVtL__________02B905A7E240\t-\n"},
      {"names are escaped in the listing", "lmq700k",
       [](const Tree& t) {
         write_file(t.inf / "paperinflmq700k", "VtL_vtS12mm__080A0327E240/a\tb\\c\001\177d:\t150\t707\n");
       },
       {{{"--check"}, "VtL_vtS12mm__080A0327E240\ta\\tb\\\\c\\001\\177d\tmissing from vtlmq700kfunc, ImagingArea\n"
                      "VtL_vtS24mm__0716064A0F3E\tAsset24\tmissing from paperinflmq700k\n" + kStale, 1}},
       "a\\tb\\\\c\\001\\177d\t10\t50\tVtL_vtS12mm__080A0327E240\tincomplete\n"
           "Asset24\t-\t-\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n"},
      {"a name with shell characters", "lmq700k", [](const Tree&) {},
       {{add(odd_name, "12", "50"), ""}},
       std::string(kAsset) + "a\"$b`x`'q'\\\\ z\t10\t50\tVtL_vtS12mm__0D0A0327E240\t-\n", false,
       "lpd/standin.log", "\n" + odd_name.substr(0, 10) + "\\\\ z\n"},
      {"a key among many of its rarest byte", "lmq700k",
       [](const Tree& t) {
         write_file(t.inf / "ImagingArea", std::string(5000, '_') + "VtL_vtS24mm__0716064A0F3\n" +
                                               read_file(t.inf / "ImagingArea"));
       },
       {{kDeleteAsset, ""}, {{"--check"}, ""}}, "", false, "inf/ImagingArea",
       std::string(5000, '_') + "VtL_vtS24mm__0716064A0F3\nvtS12mm\t:"},
      {"a key after a zero byte is not the key", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "ImagingArea", std::string("x\0", 2) + kAssetKey + "\n"); },
       {{kDeleteAsset, ""}}, "", false, "inf/ImagingArea", std::string("x\0", 2) + kAssetKey + "\n"},
      {"a missing data file", "lmq700k",
       [](const Tree& t) { fs::remove(t.inf / "ImagingArea"); },
       {{kDeleteAsset, "No such file or directory\n", 255, "/ImagingArea: No such file or directory\n"},
        {add("T", "12", "50"), "", 255, "/ImagingArea: No such file or directory\n"},
        {{"--check"}, "-\t-\tImagingArea is missing\n"
                      "VtL_vtS24mm__0716064A0F3E\tAsset24\tmissing from ImagingArea\n" + kStale, 1},
        {{"--repair"}, std::string(kAssetKey) + "\tAsset24\tnot mended: ImagingArea is missing\n"
                       "-\t-\tnot mended: ImagingArea is missing\n", 1}},
       std::string("Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n"), true,
       "", "", ""},
      {"a missing data directory", "lmq700k", [](const Tree& t) { fs::remove_all(t.inf); },
       {{add("T", "12", "50"), "", 255, "/bin/inf: No such file or directory\n"},
        {kDeleteAsset, "No such file or directory\n", 255, "/bin/inf: No such file or directory\n"},
        {{"--list"}, "", 255, "/bin/inf: No such file or directory\n"},
        {{"--check"}, "", 255, "/bin/inf: No such file or directory\n"}}, "", true, "", "", ""},
      {"a format without a name on file is dropped everywhere", "lmq700k",
       [](const Tree& t) {
         drop_lines(t.inf / "vtlmq700kfunc", kAssetKey);
         drop_lines(t.inf / "paperinflmq700k", kAssetKey);
         write_file(t.inf / "ImagingArea", read_file(t.inf / "ImagingArea") + "Note=see " + kAssetKey + " retired\n");
       },
       {{{"--check"}, std::string(kAssetKey) + "\t-\tmissing from vtlmq700kfunc, paperinflmq700k\n" +
                      kAssetKey + "\t-\tcurrent media in vtlmq700krc, but not a whole format\n", 1},
        {{"--repair"}, std::string(kAssetKey) + "\t-\tdropped from ImagingArea\n" +
                       kAssetKey + "\t-\tcurrent media in vtlmq700krc reset to Media=vtS12mm\n"},
        {{"--check"}, ""}}, "", false, "inf/ImagingArea", std::string("26.40\t0.00\nNote=see ") + kAssetKey + " retired\n", ""},
      {"a deleted format left as the current media", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "vtlmq700krc", "Copies=1\nMedia=VtL_vtS12mm__010A0327FFFF\n"); },
       {{{"--check"}, "VtL_vtS12mm__010A0327FFFF\t-\tcurrent media in vtlmq700krc, but not a whole format\n", 1},
        {{"--repair"}, "VtL_vtS12mm__010A0327FFFF\t-\tcurrent media in vtlmq700krc reset to Media=vtS12mm\n"}},
       "Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\t-\n", false, "inf/vtlmq700krc",
       "Copies=1\nMedia=vtS12mm\n"},
      {"duplicate keys and a missing header are reported, not mended", "lmq700k",
       [](const Tree& t) {
         write_file(t.inf / "paperinflmq700k", read_file(t.inf / "paperinflmq700k") +
                    "VtL_vtS24mm__0716064A0F3E/Asset24:\t320\t1415\n");
         drop_lines(t.inf / "vtlmq700kfunc", "[CustomTape]");
       },
       {{{"--check"}, "-\t-\tvtlmq700kfunc has no [CustomTape] line, so adding cannot enter formats there\n" +
                      std::string(kAssetKey) + "\tAsset24\ton 2 entries of paperinflmq700k\n", 1},
        {{"--repair"}, std::string(kAssetKey) + "\tAsset24\tnot mended: on 2 entries of paperinflmq700k\n"
                       "-\t-\tnot mended: vtlmq700kfunc has no [CustomTape] line, so adding cannot enter formats there\n", 1}},
       kAsset, true, "", "", ""},
      {"a data file that is a directory", "lmq700k",
       [](const Tree& t) { fs::remove(t.inf / "vtlmq700krc"); fs::create_directory(t.inf / "vtlmq700krc"); },
       {{kDeleteAsset, "Is a directory\n", 255, "/vtlmq700krc: Is a directory\n"},
        {add("Asset24", "12", "50"), "Is a directory\n", 255, "/vtlmq700krc: Is a directory\n"},
        {{"--list"}, "", 255, "/vtlmq700krc: Is a directory\n"}}, "", true, "", "", ""},
      {"a data file that is a link to /", "lmq700k",
       [](const Tree& t) { fs::remove(t.inf / "ImagingArea"); fs::create_symlink("/", t.inf / "ImagingArea"); },
       {{{"--list"}, "", 255, "/ImagingArea: Is a directory\n"}}, "", true},
      {"a data file that is a FIFO", "lmq700k",
       [](const Tree& t) { fs::remove(t.inf / "vtlmq700krc"); ::mkfifo((t.inf / "vtlmq700krc").c_str(), 0644); },
       {{kDeleteAsset, "Invalid argument\n", 255, "/vtlmq700krc: Invalid argument\n"}}, "", true},
      {"the sibling tool refuses to delete", "lmq700k",
       [](const Tree& t) { write_file(t.lpd / "standin.fail", "delete"); },
       {{kDeleteAsset, "", 255, "/vtpapertoolcups_lmq700k: exited with status 1\n"},
        {add("Asset24", "12", "50"), "", 255, "/vtpapertoolcups_lmq700k: exited with status 1\n"}},
       kAsset, true, "", "", "-d -d"},
      {"the sibling tool refuses to add what replaces a format", "lmq700k",
       [](const Tree& t) { write_file(t.lpd / "standin.fail", "add"); },
       {{add("Asset24", "12", "50"), "", 255, "/vtpapertoolcups_lmq700k: exited with status 1\n"}},
       "", false, "inf/vtlmq700krc", "Media=vtS12mm\n", "-d -n"},
      {"an emptied function file is not mended, and nothing is dropped", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "vtlmq700kfunc", ""); },
       {{{"--repair", "--dry-run"}, std::string(kAssetKey) + "\tAsset24\tnot mended: " + kNoHeaderHere + "-\t-\tnot mended: " + kNoHeaderHere, 1},
        {{"--repair"}, std::string(kAssetKey) + "\tAsset24\tnot mended: " + kNoHeaderHere + "-\t-\tnot mended: " + kNoHeaderHere, 1}},
       "Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n", true},
      {"look-alike keys at every offset of a searched chunk, a long line, a last line without its line feed", "lmq700k",
       [&](const Tree& t) {
         write_file(t.inf / "vtlmq700kfunc", "; " + std::string(300, 'x') + "VtL\n" + read_file(t.inf / "vtlmq700kfunc") + marks);
         write_file(t.inf / "ImagingArea", read_file(t.inf / "ImagingArea") + unterminated);
       },
       {{add("Asset24", "24", "100"), ""}, {add("N", "9", "9"), ""}},
       "Asset24\t22\t100\tVtL_vtS24mm__07160647E240\tcurrent\nN\t7\t9\tVtL_vtS9mm___01070097E240\t-\n" + listed_marks,
       false, "inf/ImagingArea", unterminated + "\nVtL_vtS24mm__07160647E240\t:"},
      {"a width fitted before the name that marks tube", "lmq700k", [](const Tree&) {},
       {{{"-P", "q1", "-w", "7", "-h", "50", "-n", "HS7"}, ""}, {{"--check"}, ""},
        {{"--export"}, "", 255, "format 'HS7': its -w came before its -n, which fitted it to another tape than its name gives, which a catalogue cannot hold\n"}},
       std::string(kAsset) + "HS7\t7\t50\tVtL__________03070327E240\t-\n"},
      {"a whole format whose name -n refuses", "lmq700k",
       [](const Tree& t) { for (const auto& [name, text] : t.files()) { std::string s = text; for (size_t at; (at = s.find("Asset24")) != s.npos || (at = s.find("07160")) != s.npos;) s.replace(at, 5, s[at] == '0' ? "28160" : std::string(38, 'L')); write_file(t.inf / name, s); } },
       {{{"--export"}, "", 255, "the label name is longer than 32 bytes, which a catalogue cannot hold\n"}},
       std::string(38, 'L') + "24\t22\t100\tVtL_vtS24mm__2816064A0F3E\tcurrent\n", true},
      {"entries that lost their names", "lmq700k",
       [](const Tree& t) { for (const char* name : {"vtlmq700kfunc", "paperinflmq700k"}) { std::string text = read_file(t.inf / name); const size_t at = text.find("/Asset24"); write_file(t.inf / name, text.erase(at, text.find('\n', at) - at)); } },
       {{{"--check"}, std::string(kAssetKey) + "\t-\tno entry of it holds a name\n" + kAssetKey + "\t-\tcurrent media in vtlmq700krc, but not a whole format\n", 1}}, ""},
      {"a data file that links to itself", "lmq700k",
       [](const Tree& t) { fs::remove(t.inf / "ImagingArea"); fs::create_symlink("ImagingArea", t.inf / "ImagingArea"); },
       {{{"--list"}, "", 255, "/ImagingArea: Too many levels of symbolic links\n"}}, "", true, "", "", ""},
      {"a data file that another model's links to", "lmq700k",
       [](const Tree& t) { fs::create_directories(t.root / "lmq700/bin/inf"); fs::create_symlink(t.inf / "ImagingArea", t.root / "lmq700/bin/inf/ImagingArea"); },
       {{{"--list"}, "", 255, "/lmq700/bin/inf/ImagingArea too; each model's data files must be its own\n"}}, "", true},
      {"a data file that leads to a file named as another data file", "lmq700k",
       [](const Tree& t) { fs::create_directory(t.dir / "other"); fs::rename(t.inf / "ImagingArea", t.dir / "other/paperinflmq700k"); fs::create_symlink(t.dir / "other/paperinflmq700k", t.inf / "ImagingArea"); },
       {{{"--list"}, "", 255, "/ImagingArea: leads to a file named as another data file is, 'paperinflmq700k'\n"}}, "", true},
      {"a roll's ImagingArea length too long for the paper table", "rk260",
       [](const Tree& t) { t.run(add("Big", "50", "100")); const std::string area = read_file(t.inf / "ImagingArea"), paper = read_file(t.inf / "paperinfrk260");
         write_file(t.inf / "ImagingArea", area.substr(0, area.rfind('\t') + 1) + "11593092697.39\n"); write_file(t.inf / "paperinfrk260", paper.substr(0, paper.rfind('\n', paper.size() - 2) + 1)); },
       {{{"--repair"}, "VtL__________03320647E240\tBig\trebuilt in paperinfrk260, ImagingArea (50 x 100 mm, as its key gives them)\n"}},
       "Big\t50\t100\tVtL__________03320647E240\t-\n"},
      {"a line that quotes a key is no entry", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "vtlmq700kfunc", read_file(t.inf / "vtlmq700kfunc") + "Note=see " + kAssetKey + "/Asset24 above\n"); },
       {{{"--check"}, ""}, {{"--repair"}, ""}}, kAsset, true},
      {"a paper table entry cut short", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "paperinflmq700k", without(read_file(t.inf / "paperinflmq700k"), "415")); },
       {{{"--check"}, std::string(kAssetKey) + "\tAsset24\tits entry in paperinflmq700k is not what its key gives\n" + kStale, 1},
        {{"--export"}, "", 255, "format 'Asset24': not whole, which a catalogue cannot hold (see --check)\n"}},
       "Asset24\t22\t100\tVtL_vtS24mm__0716064A0F3E\tcurrent,incomplete\n", true},
      {"files whose lines end in CR LF", "lmq700k",
       [](const Tree& t) { for (const char* name : {"ImagingArea", "vtlmq700krc"}) write_file(t.inf / name, crlf(read_file(t.inf / name))); },
       {{add("T", "12", "50"), ""}, {kDeleteAsset, ""}, {{"--check"}, ""}},
       "T\t10\t50\tVtL_vtS12mm__010A0327E240\t-\n", false, "inf/ImagingArea", "\r\nVtL_vtS12mm__010A0327E240\t:\t0.00\t0.00\t30.00\t141.52\r\n"},
      {"a file that mixes CR LF and LF", "lmq700k",
       [](const Tree& t) { write_file(t.inf / "vtlmq700krc", "Media=vtS12mm\r\n" + read_file(t.inf / "vtlmq700krc")); },
       {{{"--check"}, "-\t-\tvtlmq700krc mixes lines that end in CR LF with lines that end in LF alone\n", 1}}, kAsset},
      {"a sibling tool that is missing", "lmq700k", [](const Tree& t) { fs::remove(t.lpd / "vtpapertoolcups_lmq700k"); },
       {{kDeleteAsset, "", 255, "/vtpapertoolcups_lmq700k: No such file or directory\n"}}, kAsset, true},
      {"a sibling tool killed by a signal", "lmq700k",
       [](const Tree& t) { write_file(t.lpd / "standin.during", "kill -TERM $PPID; sleep 1\n"); },
       {{kDeleteAsset, "", 255, "/vtpapertoolcups_lmq700k: killed by signal 15\n"}}, kAsset, true},
      {"a planted temporary file", "lmq700k",
       [](const Tree& t) { fs::create_symlink(t.dir / "outside", t.inf / "ImagingArea.$$$"); },
       {{kDeleteAsset, "Too many levels of symbolic links\n", 255,
         "/ImagingArea.$$$: Too many levels of symbolic links\n"},
        {{"--list"}, "", 255, "/ImagingArea.$$$: Too many levels of symbolic links\n"}},
       "", true, "", "", ""},
  };
  // clang-format on
  // Files read a few bytes at a time meet what the shipped block meets only in huge files:
  // a line cut by the end of a block, a line longer than the block.
  for (size_t run = 0; run < 2 * std::size(cases); ++run) {
    const Case& c = cases[run % std::size(cases)];
    const std::string block = run < std::size(cases) ? "" : "7";
    SCOPED_TRACE(c.what + ", block " + block);
    const Env env{{"VTPAPERTOOL_BLOCK", block}};
    Tree tree(c.model);
    c.setup(tree);
    const Files before = tree.files();
    for (const Step& step : c.steps) {
      const Result result = tree.run(step.args, env);
      EXPECT_EQ(result.out, step.out) << ::testing::PrintToString(step.args);
      EXPECT_EQ(result.status, step.status);
      const std::string& err = result.err;
      EXPECT_TRUE(step.err.empty() ? err.empty()
                                   : err.rfind("vtpapertoollpr_" + c.model + ": ", 0) == 0 &&
                                         err.size() > step.err.size() &&
                                         err.substr(err.size() - step.err.size()) == step.err)
          << err;
    }
    EXPECT_TRUE(!c.unchanged || tree.files() == before);
    EXPECT_EQ(tree.run({"--list"}, env).out, c.listing);
    EXPECT_FALSE(fs::exists(tree.dir / "outside"));
    if (!c.file.empty()) {
      ASSERT_FALSE(c.holds.empty()) << c.what;
      EXPECT_NE(read_file(tree.inf / ".." / c.file).find(c.holds), std::string::npos) << c.file;
    }
    if (c.calls != "?") {
      EXPECT_EQ(tree.sibling_calls(), c.calls);
    }
  }
}

// The line of text that holds what, line feed included.
std::string line_holding(const std::string& text, const std::string& what) {
  const size_t at = text.find(what);
  const size_t start = text.rfind('\n', at) + 1;
  return text.substr(start, text.find('\n', at) + 1 - start);
}

// The line that holds what, joined to the one before it by a lost line feed.
std::string joined(std::string text, const std::string& what) {
  return text.erase(text.rfind('\n', text.find(what)), 1);
}

// --repair gives back every line that a format's key and its other lines determine, and
// drops only what it cannot rebuild: each kind of damage, judged byte for byte.
TEST(Ops, RepairRebuilds) {
  struct Damage {
    std::string what;
    std::string file;
    std::string name;  // the format damaged
    std::function<std::string(const std::string&, const std::string&)> damage;
    std::function<std::string(const std::string&, const std::string&)> mended;
  };
  const auto lost = [](const std::string& text, const std::string& key) {
    return without(text, line_holding(text, key));
  };
  const auto at_end = [lost](const std::string& text, const std::string& key) {
    return lost(text, key) + line_holding(text, key);
  };
  const auto below_header = [lost](const std::string& text, const std::string& key) {
    std::string mended = lost(text, key);
    return mended.insert(mended.find("[CustomTape]\n") + 13, line_holding(text, key));
  };
  const auto as_it_was = [](const std::string& text, const std::string&) { return text; };
  const auto cut_short = [](const std::string& text, const std::string& key) {
    const std::string line = line_holding(text, key);
    return std::string(text).replace(text.find(line), line.size(),
                                     line.substr(0, line.size() - 3) + "\n");
  };
  // A line that quotes what is left of the entry is no entry, and stays.
  const auto note = [](const std::string& text, const std::string& key) {
    const std::string line = line_holding(text, key);
    return "Note=see " + line.substr(0, line.size() - 3) + " above\n";
  };
  const auto cut_and_quoted = [=](const std::string& text, const std::string& key) {
    return cut_short(text, key) + note(text, key);
  };
  const auto quoted = [=](const std::string& text, const std::string& key) {
    return text + note(text, key);
  };
  const Damage damages[] = {
      {"an ImagingArea line lost", "ImagingArea", "Tube12", lost, at_end},
      {"a heat-shrink ImagingArea line lost", "ImagingArea", "HSWide", lost, at_end},
      {"a trimmed tape's paper table line lost", "paperinflmq700k", "Tube12", lost, at_end},
      {"a tube's paper table line lost", "paperinflmq700k", "HS9", lost, at_end},
      {"a wide tube's paper table line lost", "paperinflmq700k", "HSWide", lost, at_end},
      {"an untrimmed tape's paper table line lost", "paperinflmq700k", "T10", lost, at_end},
      {"a function file entry lost", "vtlmq700kfunc", "HS9", lost, below_header},
      {"two paper table lines joined", "paperinflmq700k", "Tube12", joined, as_it_was},
      {"a format joined to a driver line", "ImagingArea", "Asset24", joined, as_it_was},
      {"two function file entries joined", "vtlmq700kfunc", "Tube12", joined, as_it_was},
      {"a roll's ImagingArea line lost", "ImagingArea", "Roll29", lost, at_end},
      {"a roll's paper table line lost", "paperinfrk260", "Roll29", lost, at_end},
      {"a paper table line cut short", "paperinflmq700k", "Tube12", cut_short, as_it_was},
      {"an ImagingArea line cut short", "ImagingArea", "HS9", cut_short, as_it_was},
      {"a function file entry cut short", "vtlmq700kfunc", "Tube12", cut_and_quoted, quoted},
      {"a driver line glued after an entry", "vtlmq700kfunc", "Asset24",
       [](const std::string& text, const std::string&) { return joined(text, "[Halftone]"); },
       as_it_was},
  };
  std::map<std::string, Files> whole;
  std::map<std::string, std::string> keys;
  for (const auto& [model, formats] : std::map<std::string, std::vector<Words>>{
           {"lmq700k",
            {add("Tube12", "12", "50"), add("HS9", "9", "60"), add("HSWide", "30", "40"),
             add("T10", "10", "30")}},
           {"rk260", {add("Roll29", "29", "90"), add("Roll62", "62", "100")}}}) {
    Tree tree(model);
    for (const Words& format : formats) ASSERT_EQ(tree.run(format).status, 0);
    whole[model] = tree.files();
    std::istringstream listing(tree.run({"--list"}).out);
    for (std::string line; std::getline(listing, line);) {
      keys[line.substr(0, line.find('\t'))] = line.substr(line.rfind('\t') - 25, 25);
    }
  }
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    const std::string model = d.name.rfind("Roll", 0) == 0 ? "rk260" : "lmq700k";
    Tree tree(model);
    tree.restore(whole[model]);
    const std::string key = keys[d.name];
    const std::string& text = whole[model].at(d.file);
    write_file(tree.inf / d.file, d.damage(text, key));
    EXPECT_EQ(tree.run({"--check"}).status, 1);
    const Result preview = tree.run({"--repair", "--dry-run"});
    const Result repaired = tree.run({"--repair"});
    EXPECT_EQ(preview.out + std::to_string(preview.status),
              repaired.out + std::to_string(repaired.status));
    EXPECT_EQ(repaired.status, 0) << repaired.out;
    Files mended = whole[model];
    mended[d.file] = d.mended(text, key);
    EXPECT_EQ(tree.files(), mended) << repaired.out;
    EXPECT_EQ(tree.run({"--check"}).out, "");
  }
}

// Only root can make a file or link belong to someone else. A link is followed only when
// every link of its chain is root's, and nobody else can put another entry in a directory
// on its way; a link that is followed stays a link, and its target gets the change. A file
// keeps its owner.
TEST(Ops, LinksAndOwners) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  Tree tree("lmq700k");
  const fs::path secret = tree.dir / "secret";
  const fs::path hop = tree.dir / "hop";
  write_file(secret, "vtS12mm\t:\t0\t0\t0\t0\nVtL_vtS24mm__0716064A0F3E\tsecret\n");
  fs::create_directory(hop);
  fs::create_symlink("../secret", hop / "next");
  fs::remove(tree.inf / "ImagingArea");
  fs::create_symlink(hop / "." / "next", tree.inf / "ImagingArea");
  ASSERT_EQ(::chown((tree.inf / "paperinflmq700k").c_str(), 65534, 65534), 0);
  fs::permissions(tree.inf / "paperinflmq700k", fs::perms(0640));
  const auto owned = [](const fs::path& path, uid_t owner) {
    return ::lchown(path.c_str(), owner, owner) == 0;
  };
  const auto mode = [](const fs::path& path, int bits) {
    return ::chmod(path.c_str(), static_cast<mode_t>(bits)) == 0;
  };
  // clang-format off
  const struct {
    std::string what;
    std::function<bool()> make, undo;
  } unsafe[] = {
      {"the data file's own link is another's", [&] { return owned(tree.inf / "ImagingArea", 65534); }, [&] { return owned(tree.inf / "ImagingArea", 0); }},
      {"a link further down the chain is another's", [&] { return owned(hop / "next", 65534); }, [&] { return owned(hop / "next", 0); }},
      {"the directory that holds a link is another's", [&] { return owned(hop, 65534); }, [&] { return owned(hop, 0); }},
      {"anyone may write the directory that holds a link", [&] { return mode(hop, 0777); }, [&] { return mode(hop, 0755); }},
      {"the target, another's, stands in a sticky directory anyone may write", [&] { return mode(tree.dir, 01777) && owned(secret, 65534); }, [&] { return owned(secret, 0); }},
  };
  // clang-format on
  const Files before = tree.files();
  for (const auto& row : unsafe) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(row.make());
    const Result refused = tree.run(kDeleteAsset);
    EXPECT_EQ(refused.out, "Too many levels of symbolic links\n");
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(tree.files(), before);
    EXPECT_EQ(tree.sibling_log(), "");
    ASSERT_TRUE(row.undo());
  }
  // A target of root's may stand in a sticky directory.
  EXPECT_EQ(tree.run(kDeleteAsset).status, 0);
  EXPECT_EQ(read_file(secret), "vtS12mm\t:\t0\t0\t0\t0\n");
  EXPECT_TRUE(fs::is_symlink(tree.inf / "ImagingArea"));
  struct stat paper {};
  ::stat((tree.inf / "paperinflmq700k").c_str(), &paper);
  EXPECT_EQ(paper.st_uid, 65534u);
  EXPECT_EQ(paper.st_gid, 65534u);
  EXPECT_EQ(paper.st_mode & 07777, 0640u);

  // A data file is replaced, not written in place, so it takes the owner and group of its
  // copy: a user other than root may change only files of their own in a group of theirs
  // (the user is in group 7 besides their own), and they stay theirs and in that group.
  Tree mine("lmq700k");
  fs::permissions(mine.dir, fs::perms(0755));
  const auto give = [&mine](const std::string& name, uid_t to, gid_t group = 65534) {
    for (const auto& [file, text] : mine.files()) {
      EXPECT_TRUE((!name.empty() && file != name) ||
                  ::chown((mine.inf / file).c_str(), to, group) == 0);
    }
  };
  const Files theirs = mine.files();
  const std::string refused = (mine.dir / "vtpapertoollpr_lmq700k: ").string() +
                              (mine.inf / "vtlmq700kfunc").string() + ": ";
  for (const std::string& why :
       std::vector<std::string>{"needs write permission in " + mine.inf.string(),
                                "owned by another user; only its owner or root may change it",
                                "its group is not one of this user's; only root may change it"}) {
    give("", 65534);  // from the second time the directory is the user's too, but not one file
    if (why[0] != 'n') give("vtlmq700kfunc", why[0] == 'o' ? 0 : 65534, why[0] == 'o' ? 65534 : 0);
    EXPECT_EQ(mine.run_as(65534, add("Tube12", "12", "50")).err, refused + why + "\n");
    EXPECT_EQ(mine.files(), theirs);
    for (const fs::path& path : {mine.inf, mine.lpd, mine.lpd / "standin.registry"}) {
      ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
  }
  give("", 65534, 7);
  EXPECT_EQ(mine.run_as(65534, add("Tube12", "12", "50")).status, 0);
  for (const auto& file : mine.files()) {
    struct stat info {};
    ::stat((mine.inf / file.first).c_str(), &info);
    EXPECT_EQ(info.st_uid, 65534u) << file.first;
    EXPECT_EQ(info.st_gid, 7u) << file.first;
  }
}

// The lines the system log got, without the sender's process id.
std::vector<std::string> logged_lines(int socket) {
  std::vector<std::string> lines;
  char message[4096];
  for (ssize_t got; (got = ::recv(socket, message, sizeof message, MSG_DONTWAIT)) > 0;) {
    std::string line(message, static_cast<size_t>(got));
    lines.push_back(line.erase(line.find('['), line.find("]: ") + 1 - line.find('[')));
  }
  return lines;
}

// Every change a command makes goes to the system log: one line per format with its key,
// the model, the command and the user; a change left recorded for the next run too, and a
// dry run never.
TEST(Ops, ChangesGoToTheSystemLog) {
  Tree tree("lmq700k");
  const std::string path = (tree.dir / "log").string();
  const int log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(log, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  Result result;
  const std::vector<std::string> calls = tree.io_calls(
      add("Asset24", "12", "50"), result, {{"VTPAPERTOOL_LOG", path}, {"SUDO_USER", "alice"}});
  const auto committed = std::find(calls.begin(), calls.end(),
                                   "rename " + (tree.inf / "vtpapertoollpr.commit").string());
  const long installed =
      std::find(committed, calls.end(), "fsync " + tree.inf.string()) - calls.begin();
  tree.run({"--dry-run", "-P", "q1", "-n", "Tube12", "-w", "12", "-h", "50"},
           {{"VTPAPERTOOL_LOG", path}});
  tree.run(kDeleteAsset, {{"VTPAPERTOOL_LOG", path},
                          {"VTPAPERTOOL_FAULT", std::to_string(installed + 1) + ":5"}});
  const std::string by = "vtpapertoollpr_lmq700k: lmq700k: -%c by " +
                         std::string(::getpwuid(::getuid())->pw_name) + " (uid " +
                         std::to_string(::getuid());
  const auto lead = [&by](char command) {
    return std::string(by).replace(by.find("%c"), 2, 1, command);
  };
  EXPECT_EQ(logged_lines(log),
            (std::vector<std::string>{
                "<13>" + lead('n') +
                    ", sudo from alice): replaced 'Asset24' (VtL_vtS24mm__0716064A0F3E) by "
                    "VtL_vtS12mm__070A0327E240, 12 x 50 mm",
                "<13>" + lead('d') + "): deleted 'Asset24' (VtL_vtS12mm__070A0327E240)",
                "<11>" + lead('d') + "): the change is recorded for the next run to finish: " +
                    tree.inf.string() + ": Input/output error"}));
  ::close(log);
}

// A terminal is shown no control byte of a name; a script reads the name as it gave it;
// output that never arrives is a failure like any other.
TEST(Ops, WhereStandardOutputGoes) {
  Tree tree("lmq700k");
  const Words args{"-P", "q1", "-d", "a\033[2Jb\tc"};
  EXPECT_EQ(tree.run(args).out, "Not found 'a\033[2Jb\tc'\n");
  for (const fs::path& out : {fs::path("/dev/full"), fs::path()}) {
    tree.out = out;
    const Result result = tree.run(args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err,
              "vtpapertoollpr_lmq700k: standard output: " +
                  std::string(out.empty() ? "Bad file descriptor" : "No space left on device") +
                  "\n");
  }
  tree.out = "/dev/full";
  const Result refused = tree.run({"-P", "q1", "-x"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("\nvtpapertoollpr_lmq700k: standard output: No space left"),
            std::string::npos);
  write_file(tree.root / "c.tsv", "Tube12\t12\t50\n");
  const Result applied = tree.run({"-P", "q1", "--apply", (tree.root / "c.tsv").string()});
  EXPECT_EQ(
      applied.err,
      "vtpapertoollpr_lmq700k: standard output: No space left on device; the change was made\n");
  write_file(tree.inf / "ImagingArea", "");  // a repair changes the files too
  EXPECT_NE(tree.run({"--repair"}).err.find("; the change was made\n"), std::string::npos);
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  // A bare chroot has no devpts mounted.
  if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal: " << std::strerror(errno);
  ASSERT_TRUE(::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  tree.out = ::ptsname(terminal);
  const int side = ::open(tree.out.c_str(), O_RDWR | O_NOCTTY);
  EXPECT_EQ(tree.run(args).status, 0);
  char shown[256] = {};
  EXPECT_GT(::read(terminal, shown, sizeof shown - 1), 0);
  EXPECT_EQ(std::string(shown), "Not found 'a\\033[2Jb\\tc'\r\n");  // the terminal ends lines so
  ::close(side);
  ::close(terminal);
}

}  // namespace
