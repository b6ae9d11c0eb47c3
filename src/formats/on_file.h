// What a model's data files hold of its custom formats, read once per command. The one
// place that decides what an entry is, which format it belongs to, what the format's key
// and name say its entries must be, and whether it is whole: the look-up, --list,
// --export, --apply, --check and --repair all read it, and none reads the files its own
// way.
#ifndef VTPAPERTOOL_FORMATS_ON_FILE_H_
#define VTPAPERTOOL_FORMATS_ON_FILE_H_

#include <array>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/key.h"
#include "formats/layout.h"
#include "formats/request.h"
#include "store/change_record.h"
#include "store/fault.h"

// The files that hold a format's entries; the settings file only names the current one.
constexpr DataFile kEntryFiles[] = {kFunctionFile, kPaperTable, kImagingArea};

// One entry of a format as it stands in a data file. An entry starts a line with the
// format's key, or stands after other text where a lost line feed joined two lines; a key
// that a line merely quotes is no entry.
struct Entry {
  std::string text;     // without its line end, and up to its line's first zero byte
  std::string name;     // the name it carries; empty in ImagingArea and where it is cut short
  bool joined = false;  // it shares its line with other text
  size_t place = 0;     // its order among the file's entries
};

struct FormatOnFile {
  std::string key;
  std::string name;  // of its function entry, else of its paper entry; empty when none names it
  std::vector<Entry> entries[kDataFileCount];  // by DataFile; the settings file's stays empty
  bool current = false;                        // a settings line holds its key
  FormatRequest request;  // the sizes, tape and dots its key and name stand for
  Fault unjudged;         // set when they stand for no format this model makes, and why
};

// A line on which a lost line feed joined entries to what stood before them.
struct JoinedLine {
  std::string text;          // without its line end
  std::vector<size_t> cuts;  // where each entry after the line's start begins
};

struct FileOnDisk {
  bool missing = false;
  bool crlf_lines = false;  // some line ends in CR LF
  bool lf_lines = false;    // some line ends in a line feed alone
  std::vector<JoinedLine> joined;
};

// How much of the files a command needs: the names and keys that the function file and the
// paper table hold, for a look-up, or all four files, whole.
enum class Reading { kNames, kWhole };

// Every key under which a name stands: a name may stand under more than one format when
// the files were edited by hand or by another program.
struct FoundFormat {
  std::vector<std::string> keys;  // the function file's, then the paper table's, each once
  bool in_paper_table = false;
};

struct OnFile {
  FormatRequest model;  // the model the files are of: its kind and id
  FileSet set;
  FileOnDisk files[kDataFileCount];
  size_t headers = 0;  // function file lines that hold "[CustomTape]"
  // Each format once: those of the paper table in its order, then the function file's
  // others, then those only ImagingArea holds.
  std::vector<FormatOnFile> formats;
  std::unordered_map<std::string, size_t> by_key;
  std::vector<std::string> current;  // the keys the settings lines hold, in order, each once
  // Every key the function file and paper table hold, which a new key must differ from.
  std::vector<std::array<char, kKeyLength>> held_keys;
};

// Reads the model's data files (a missing one holds nothing and is noted as missing) and,
// with Reading::kWhole, judges every format. On failure, holds what the files before the
// failing one gave, in set order, so that a look-up in the function file and the paper
// table still answers.
Fault read_on_file(const FormatRequest& model, const FileSet& set, Reading reading,
                   OnFile& on_file);

// Sets the format's request from its key, its name and its entries, as an add that made
// this key was given it, or unjudged with the reason they stand for no such add.
void judge_format(const FormatRequest& model, FormatOnFile& format);

// Every format whose function or paper-table entry carries the name, as a delete finds it.
FoundFormat find_named(const OnFile& on_file, const std::string& name);

// The format that holds key, or nullptr.
const FormatOnFile* format_of(const OnFile& on_file, const std::string& key);

// The line (line feed included) that the format's key and name give in file.
std::string expected_entry(const FormatOnFile& format, DataFile file);

// Whether every entry of the format that the file holds is the one its key and name give:
// true where it holds none.
bool entries_agree(const FormatOnFile& format, DataFile file);

// A key, its function entry, its paper-table entry and its ImagingArea line, whose numbers
// agree with what the key, the name and the model's tables give. (An entry held twice is
// whole, and reported as held twice.)
bool is_whole(const FormatOnFile& format);

// The times of the keys that the function file and the paper table hold, by the key
// fields before the time, for new keys to stay clear of.
using KeyTimesByPrefix = std::unordered_map<std::string, KeyTimes>;
KeyTimesByPrefix held_key_times(const OnFile& on_file);

#endif  // VTPAPERTOOL_FORMATS_ON_FILE_H_
