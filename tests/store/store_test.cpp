// The data store against real files: line rules, safe replacement, keys and records.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/format_id.h"
#include "store/lines.h"
#include "store/records.h"
#include "store/rewrite.h"
#include "support/harness.h"

namespace {

using namespace std::string_literals;

const LineRule kCopy{RuleKind::kCopy, "", ""};
const LineRule kDropKey{RuleKind::kDropMatching, "KEY", ""};
const LineRule kReplaceKey{RuleKind::kReplaceMatching, "KEY", "Media=vtS12mm\n"};
const LineRule kInsertBelowHeader{RuleKind::kInsertAfterMatching, "[CustomTape]", "NEW/entry\n"};

struct RewriteCase {
  const char* what;
  std::string before;
  LineRule rule;
  std::string trailer;
  std::string after;
};

TEST(Rewrite, LineRulesAndTrailers) {
  const RewriteCase cases[] = {
      {"empty, copy", "", kCopy, "", ""},
      {"empty, trailer", "", kCopy, "T\n", "T\n"},
      {"copy, no final feed", "a\nb", kCopy, "", "a\nb"},
      {"trailer after unterminated line", "a\nb", kCopy, "T\n", "a\nb\nT\n"},
      {"trailer after terminated line", "a\nb\n", kCopy, "T\n", "a\nb\nT\n"},
      {"carriage return is no separator", "a\r\nb\rKEY\n", kDropKey, "", "a\r\n"},
      {"drop", "a\nKEY1\nb\nxKEYx\n", kDropKey, "", "a\nb\n"},
      {"drop unterminated last", "a\nKEY", kDropKey, "", "a\n"},
      {"drop keeps line with key after zero", "a\0KEY\nKEY\n"s, kDropKey, "", "a\0KEY\n"s},
      {"drop line with key before zero", "KEY\0a\nb\n"s, kDropKey, "", "b\n"},
      {"replace", "Copies=1\nMedia=KEY\nDensity=0\n", kReplaceKey, "",
       "Copies=1\nMedia=vtS12mm\nDensity=0\n"},
      {"replace unterminated", "Copies=1\nMedia=KEY", kReplaceKey, "", "Copies=1\nMedia=vtS12mm\n"},
      {"replace nothing", "Copies=1\n", kReplaceKey, "", "Copies=1\n"},
      {"insert", "[A]\n[CustomTape]\nold\n", kInsertBelowHeader, "",
       "[A]\n[CustomTape]\nNEW/entry\nold\n"},
      {"insert after each header", "[CustomTape]\n[CustomTape]\n", kInsertBelowHeader, "",
       "[CustomTape]\nNEW/entry\n[CustomTape]\nNEW/entry\n"},
      {"insert after unterminated header", "x\n[CustomTape]", kInsertBelowHeader, "",
       "x\n[CustomTape]\nNEW/entry\n"},
      {"no header, no entry", "[Media]\n", kInsertBelowHeader, "", "[Media]\n"},
  };
  TempDir dir;
  const std::string path = dir.path + "/data";
  for (const RewriteCase& c : cases) {
    write_file(path, c.before);
    ASSERT_EQ(rewrite_data_file(path, c.rule, c.trailer), 0) << c.what;
    EXPECT_EQ(read_file(path), c.after) << c.what;
    EXPECT_EQ(list_directory(dir.path), std::vector<std::string>{"data"}) << c.what;
  }
}

TEST(Rewrite, LongLinesAndBlockBoundariesAreCopiedWhole) {
  TempDir dir;
  const std::string path = dir.path + "/data";
  const std::string long_line = std::string(5 << 20, 'x') + "KEY" + std::string(1000, 'y') + "\n";
  std::string many_lines;
  for (int i = 0; i < 60000; ++i) many_lines += "line " + std::to_string(i) + " of the table\n";
  write_file(path, "a\n" + long_line + many_lines + "KEY\n" + many_lines + "z");
  ASSERT_EQ(rewrite_data_file(path, kDropKey, "T\n"), 0);
  EXPECT_EQ(read_file(path), "a\n" + many_lines + many_lines + "z\nT\n");
  write_file(path, long_line + "end");
  ASSERT_EQ(rewrite_data_file(path, kCopy, ""), 0);
  EXPECT_EQ(read_file(path), long_line + "end");
}

TEST(Rewrite, ReplacedFileIsWorldWritableWhateverTheUmask) {
  TempDir dir;
  const std::string path = dir.path + "/data";
  write_file(path, "a\n");
  ::chmod(path.c_str(), 0600);
  const mode_t old_mask = ::umask(077);
  ASSERT_EQ(rewrite_data_file(path, kCopy, "T\n"), 0);
  ::umask(old_mask);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0666u);
}

TEST(Rewrite, FilesThatCannotBeReadAreLeftAlone) {
  TempDir dir;
  const std::string missing = dir.path + "/missing";
  EXPECT_EQ(rewrite_data_file(missing, kCopy, "T\n"), -1);
  EXPECT_EQ(errno, ENOENT);
  const std::string directory = dir.path + "/directory";
  ::mkdir(directory.c_str(), 0755);
  EXPECT_EQ(rewrite_data_file(directory, kCopy, "T\n"), -1);
  EXPECT_EQ(errno, EISDIR);
  const std::string fifo = dir.path + "/fifo";
  ::mkfifo(fifo.c_str(), 0644);
  EXPECT_EQ(rewrite_data_file(fifo, kCopy, "T\n"), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(list_directory(dir.path), (std::vector<std::string>{"directory", "fifo"}));
}

TEST(Rewrite, StaleOrPlantedTemporaryFileIsReplacedNotFollowed) {
  TempDir dir;
  const std::string path = dir.path + "/data";
  const std::string victim = dir.path + "/victim";
  write_file(path, "a\n");
  write_file(victim, "precious\n");
  ::symlink(victim.c_str(), (path + ".$$$").c_str());
  ASSERT_EQ(rewrite_data_file(path, kCopy, "T\n"), 0);
  EXPECT_EQ(read_file(path), "a\nT\n");
  EXPECT_EQ(read_file(victim), "precious\n");
  EXPECT_FALSE(file_exists(path + ".$$$"));
}

TEST(Rewrite, LinkToDataFileIsReadThrough) {
  TempDir dir;
  const std::string target = dir.path + "/target";
  const std::string path = dir.path + "/data";
  write_file(target, "a\n");
  ::symlink(target.c_str(), path.c_str());
  ASSERT_EQ(rewrite_data_file(path, kCopy, "T\n"), 0);
  EXPECT_EQ(read_file(path), "a\nT\n");
}

TEST(Lines, RunsOfWholeLinesGiveBackEveryByte) {
  TempDir dir;
  const std::string path = dir.path + "/data";
  const std::string contents =
      "one\r\n\ntwo\0x\n"s + std::string(3 << 20, 'l') + "\n" + std::string(70000, 'm') + "last";
  write_file(path, contents);
  const int fd = ::open(path.c_str(), O_RDONLY);
  LineReader reader = make_line_reader(fd);
  std::string_view lines;
  std::string joined;
  while (next_lines(reader, lines) == 1) {
    EXPECT_TRUE(lines.back() == '\n' || joined.size() + lines.size() == contents.size());
    joined.append(lines);
  }
  ::close(fd);
  EXPECT_EQ(joined, contents);

  const int dir_fd = ::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
  LineReader unreadable = make_line_reader(dir_fd);
  EXPECT_EQ(next_lines(unreadable, lines), -1);
  EXPECT_EQ(errno, EISDIR);
  ::close(dir_fd);
}

TEST(Lines, ReadLineKeepsEveryByte) {
  TempDir dir;
  const std::string path = dir.path + "/data";
  write_file(path, "one\r\n\ntwo\0x\nlast"s);
  const int fd = ::open(path.c_str(), O_RDONLY);
  LineReader reader = make_line_reader(fd);
  std::string line;
  std::vector<std::string> lines;
  while (read_line(reader, line) > 0) lines.push_back(line);
  ::close(fd);
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "\n", "two\0x\n"s, "last"}));
}

TEST(FormatId, ComposedFromMediaNameSizeAndClock) {
  FormatRequest tape;
  tape.model_kind = kTapeModelKind;
  tape.label_name = "Tube12";
  tape.tape_media = "_vtS12mm__";
  tape.width_mm = 10;
  tape.length_mm = 50;
  EXPECT_EQ(compose_format_id(tape, {0x17, 123456}), "VtL_vtS12mm__060A0327E240");
  FormatRequest wide;
  wide.label_name = "Roll300";
  wide.width_mm = 300;
  wide.length_mm = 4096 + 90;
  EXPECT_EQ(compose_format_id(wide, {15, 65536 + 1}), "VtL__________072C05AF0001");
}

TEST(FormatId, FoundByExactNameAtItsFixedPosition) {
  struct Case {
    const char* what;
    std::string file;
    const char* name;
    const char* key;
  } cases[] = {
      {"function entry", "x\nVtL_vtS12mm__060A0327E240/Tube12\n", "Tube12",
       "VtL_vtS12mm__060A0327E240"},
      {"paper table line", "VtL_vtS12mm__060A0327E240/Tube12:\t150\t707\n", "Tube12",
       "VtL_vtS12mm__060A0327E240"},
      {"shorter name", "VtL_vtS12mm__060A0327E240/Tube12\n", "Tube1", ""},
      {"other case", "VtL_vtS12mm__060A0327E240/Tube12\n", "tube12", ""},
      {"second mark", "VtL VtL_vtS12mm__060A0327E240/Tube12\n", "Tube12", ""},
      {"no mark", "Tube12\n", "Tube12", ""},
      {"name with slash and colon", "VtL__________091D05A7E240/a/b:c\td e\n", "a/b:c\td e",
       "VtL__________091D05A7E240"},
      {"first match wins", "VtL__________011D05A10001/A\nVtL__________011D05A20002/A\n", "A",
       "VtL__________011D05A10001"},
      {"line too short", "VtL__________061D05A10001/Tube", "Tube12", ""},
      {"unterminated last line", "x\nVtL__________041D05A10001/Tube", "Tube",
       "VtL__________041D05A10001"},
      {"length not hex", "VtL__________0G1D05A10001/A\n", "A", ""},
      {"name behind zero byte", "VtL__________011D05A10001\0A\n"s, "A", ""},
  };
  TempDir dir;
  const std::string path = dir.path + "/data";
  for (const Case& c : cases) {
    write_file(path, c.file);
    std::string key;
    EXPECT_EQ(find_format_id(path, c.name, key), *c.key ? 1 : 0) << c.what;
    if (*c.key) {
      EXPECT_EQ(key, c.key) << c.what;
    }
  }
  std::string key;
  EXPECT_EQ(find_format_id(dir.path + "/missing", "A", key), 0);
  EXPECT_EQ(find_format_id(dir.path, "A", key), -1);
}

TEST(Records, EntriesInDotsAndPoints) {
  struct Case {
    const char* what;
    int32_t kind;
    int64_t width;
    int64_t length;
    int64_t dots;
    const char* paper;
    const char* imaging;
  } cases[] = {
      {"12 mm tape", 3, 10, 50, 150, "K/N:\t150\t707\n", "K\t:\t0.00\t0.00\t30.00\t141.52\n"},
      {"roll 29x90", 1, 29, 90, 0, "K/N:\t306\t990\n", "K\t:\t0.00\t0.00\t0.00\t254.73\n"},
      {"roll width 2", 0, 2, 90, 0, "K/N:\t-11\t990\n", "K\t:\t0.00\t0.00\t0.00\t254.73\n"},
      {"heat-shrink 30", 3, 30, 50, 0, "K/N:\t0\t707\n", "K\t:\t0.00\t0.00\t0.00\t141.52\n"},
  };
  for (const Case& c : cases) {
    FormatRequest request;
    request.model_kind = c.kind;
    request.label_name = "N";
    request.width_mm = c.width;
    request.length_mm = c.length;
    request.print_width_dots = c.dots;
    EXPECT_EQ(function_entry("K", request), "K/N\n") << c.what;
    EXPECT_EQ(paper_table_entry("K", request), c.paper) << c.what;
    EXPECT_EQ(imaging_area_entry("K", request), c.imaging) << c.what;
  }
  FormatRequest roll;
  EXPECT_EQ(default_media_line(roll), "MediaSize=29X1\n");
  roll.model_kind = kTapeModelKind;
  EXPECT_EQ(default_media_line(roll), "Media=vtS12mm\n");
}

}  // namespace
