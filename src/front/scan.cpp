#include "front/scan.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "formats/entries.h"
#include "formats/key.h"

namespace {

constexpr size_t kLongestNumber = 32;

struct SeenOptions {
  bool catalogue = false;
  bool delete_listed = false;
  bool printer = false;
  bool add_name = false;
  bool delete_name = false;
  bool width = false;
  bool length = false;
};

std::string quoted(const std::string& value) { return "'" + value + "'"; }

Fault refused(const std::string& word, const std::string& why) { return {0, word, why}; }

// A whole number of millimetres: leading blanks, a sign, digits, and "mm" if anything, as
// "12mm" always worked. Beyond 64 bits it saturates, for the data files' limits to refuse.
bool read_millimetres(const std::string& value, int64_t& millimetres) {
  size_t at = value.find_first_not_of(" \t\n\v\f\r");
  if (at == std::string::npos) return false;
  const bool negative = value[at] == '-';
  if (value[at] == '+' || negative) ++at;
  const size_t end = std::min(value.find_first_not_of("0123456789", at), value.size());
  if (end == at || (end != value.size() && value.compare(end, std::string::npos, "mm") != 0)) {
    return false;
  }
  millimetres = 0;
  for (size_t i = at; i < end; ++i) {
    const int digit = value[i] - '0';
    if (millimetres > (std::numeric_limits<int64_t>::max() - digit) / 10) {
      millimetres = std::numeric_limits<int64_t>::max();
      break;
    }
    millimetres = millimetres * 10 + digit;
  }
  if (negative) millimetres = -millimetres;
  return true;
}

// Why the value is no size in millimetres; none with the size in millimetres.
Fault size_refusal(const std::string& option, const std::string& value, int64_t& millimetres) {
  const std::string word = option + " " + quoted(value);
  if (value.size() > kLongestNumber) {
    return refused(word, "longer than " + std::to_string(kLongestNumber) + " bytes");
  }
  if (!read_millimetres(value, millimetres)) {
    return refused(word, "not a whole number of millimetres");
  }
  if (millimetres <= 0) return refused(word, "not a size above 0 mm");
  return {};
}

Fault width_refusal(const std::string& value, FormatRequest& request) {
  Fault refusal = size_refusal("-w", value, request.width_mm);
  if (failed(refusal)) return refusal;
  refusal = fit_width(request);
  if (failed(refusal)) refusal.subject = "-w " + quoted(value);
  return refusal;
}

// A tape's limits may change the length: notice then says so, since the label will not be
// the length the user typed.
Fault length_refusal(const std::string& value, FormatRequest& request, std::string& notice) {
  Fault refusal = size_refusal("-h", value, request.length_mm);
  if (failed(refusal)) return refusal;
  const std::string length = "-h " + quoted(value);
  const int64_t asked = request.length_mm;
  refusal = fit_length(request);
  notice.clear();
  if (request.length_mm != asked) {
    notice = length + ": held to " + std::to_string(request.length_mm) + " mm";
  }
  if (failed(refusal)) refusal.subject = length;
  return refusal;
}

Fault label_refusal(const std::string& option, const std::string& value, FormatRequest& request,
                    bool& seen) {
  Fault refusal = label_name_refusal(value);
  if (failed(refusal)) {
    refusal.subject = option;
    return refusal;
  }
  request.label_name = value;
  seen = true;
  return {};
}

Fault printer_refusal(const std::string& value, FormatRequest& request, bool& seen) {
  if (value.empty()) return refused("-P", "the printer name is empty");
  if (value.size() > kLongestPrinterName) {
    return refused(
        "-P", "the printer name is longer than " + std::to_string(kLongestPrinterName) + " bytes");
  }
  request.printer_name = value;
  seen = true;
  return {};
}

// Options are told by their first two characters, as they always were; the newer ones
// by their whole word.
bool is_option(const std::string& word) {
  const std::string key = word.substr(0, 2);
  return key == "-P" || key == "-n" || key == "-d" || key == "-w" || key == "-h" ||
         word == "--apply" || word == "--delete-listed";
}

// An option word that holds more than the option, as "-Pq1" or "-w12" do: taken for the
// option, it takes the next word as its value.
bool is_glued(const std::string& word) {
  return word.size() > 2 && word[0] == '-' && word[1] != '-' && is_option(word);
}

struct LoneCommand {
  const char* word;
  Command command;
};

// The commands that stand alone after the program name.
constexpr LoneCommand kLoneCommands[] = {
    {"--list", Command::kList},     {"--check", Command::kCheck}, {"--repair", Command::kRepair},
    {"--export", Command::kExport}, {"--model", Command::kModel},
};

bool stands_alone(const std::string& word) {
  return word == "--help" || word == "--version" ||
         std::any_of(std::begin(kLoneCommands), std::end(kLoneCommands),
                     [&word](const LoneCommand& lone) { return word == lone.word; });
}

// The words that stand alone wherever an option may, and are no option's value.
struct Flag {
  const char* word;
  bool FormatRequest::*set;
};

constexpr Flag kFlags[] = {
    {"--dry-run", &FormatRequest::dry_run},
    {"--prune", &FormatRequest::prune},
    {"--allow-empty", &FormatRequest::allow_empty},
};

Fault catalogue_refusal(const std::string& option, const std::string& value, FormatRequest& request,
                        bool& seen) {
  if (value.empty()) return refused(option, "the catalogue's file name is empty");
  request.catalogue_path = value;
  seen = true;
  return {};
}

const Flag* flag_named(const std::string& word) {
  const Flag* flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                  [&](const Flag& known) { return word == known.word; });
  return flag == std::end(kFlags) ? nullptr : flag;
}

// A flag is never an option's value: "-Pq1 --dry-run" taken as the printer --dry-run would
// make a dry run a real change.
std::vector<std::string> without_flags(const std::vector<std::string>& words,
                                       FormatRequest& request) {
  std::vector<std::string> rest{words.front()};
  for (size_t i = 1; i < words.size(); ++i) {
    if (const Flag* flag = flag_named(words[i]); flag != nullptr) {
      request.*(flag->set) = true;
      continue;
    }
    rest.push_back(words[i]);
    if (is_option(words[i]) && i + 1 < words.size() && flag_named(words[i + 1]) == nullptr) {
      rest.push_back(words[++i]);
    }
  }
  return rest;
}

bool changes_formats(Command command) {
  return command == Command::kAdd || command == Command::kDelete || command == Command::kRepair ||
         command == Command::kApply || command == Command::kDeleteListed;
}

// What the flags may go with.
Fault flag_refusal(Command command, const FormatRequest& request) {
  if (request.prune && command != Command::kApply) {
    return refused("", "--prune goes only with --apply");
  }
  if (request.allow_empty && !request.prune) {
    return refused("", "--allow-empty goes only with --prune");
  }
  if (request.dry_run && !changes_formats(command)) {
    return refused("", "--dry-run goes only with --apply, --delete-listed, -n, -d or --repair");
  }
  return {};
}

Fault pair_refusal(const std::string& option, const std::string& value, FormatRequest& request,
                   SeenOptions& seen, std::string& notice) {
  const std::string key = option.substr(0, 2);
  if (option == "--apply") return catalogue_refusal(option, value, request, seen.catalogue);
  if (option == "--delete-listed") {
    return catalogue_refusal(option, value, request, seen.delete_listed);
  }
  if (key == "-P") return printer_refusal(value, request, seen.printer);
  if (key == "-n") return label_refusal("-n", value, request, seen.add_name);
  if (key == "-d") return label_refusal("-d", value, request, seen.delete_name);
  Fault refusal;
  if (key == "-w") {
    refusal = width_refusal(value, request);
    seen.width = !failed(refusal);
  } else if (key == "-h") {
    refusal = length_refusal(value, request, notice);
    seen.length = !failed(refusal);
  } else {
    refusal = refused("", "unknown option " + quoted(option));
  }
  return refusal;
}

Command choose_command(const SeenOptions& seen, Fault& refusal) {
  const int commands = seen.catalogue + seen.delete_listed + (seen.add_name || seen.delete_name);
  std::string why;
  if (!seen.printer) {
    why = "no printer given with -P";
  } else if (commands > 1) {
    why = "--apply, --delete-listed and -n or -d cannot be given together";
  } else if (seen.catalogue) {
    return Command::kApply;
  } else if (seen.delete_listed) {
    return Command::kDeleteListed;
  } else if (seen.add_name && seen.delete_name) {
    why = "-n and -d cannot be given together";
  } else if (seen.add_name && (!seen.width || !seen.length)) {
    why = std::string("-n needs ") + (seen.width ? "-h" : "-w") + " too";
  } else if (!seen.add_name && !seen.delete_name) {
    why = "no label name given with -n or -d";
  } else {
    return seen.add_name ? Command::kAdd : Command::kDelete;
  }
  refusal = refused("", why);
  return Command::kUsage;
}

// Words go in pairs, so one word too many or too few shifts every pair after it: the word
// to blame is the option before the first pair that went wrong that glued its value to
// itself, or that took the next option for its value.
Fault shifted_pair(const std::vector<std::string>& words, size_t wrong) {
  for (size_t i = 1; i < wrong && i + 1 < words.size(); i += 2) {
    const std::string key = words[i].substr(0, 2);
    if (is_glued(words[i])) {
      return refused(words[i], key + " and its value are separate words");
    }
    if (is_option(words[i + 1]) && words[i + 1].size() == 2) {
      return refused(words[i], "no value before the option " + words[i + 1]);
    }
  }
  if (is_glued(words[wrong])) {
    return refused(words[wrong], words[wrong].substr(0, 2) + " and its value are separate words");
  }
  if (is_option(words[wrong]))
    return refused("", "option " + quoted(words[wrong]) + " has no value");
  if (stands_alone(words[wrong])) {
    return refused(words[wrong], "stands alone after the program name, with no other word");
  }
  return refused("", "unknown option " + quoted(words[wrong]));
}

// The first word where a pair has no option, or the option no value.
size_t first_wrong_pair(const std::vector<std::string>& words) {
  size_t i = 1;
  while (i + 1 < words.size() && is_option(words[i])) i += 2;
  return i;
}

}  // namespace

Scan scan_command_line(const std::vector<std::string>& all_words, FormatRequest& request) {
  Scan scan;
  const std::vector<std::string> words = without_flags(all_words, request);
  for (const LoneCommand& lone : kLoneCommands) {
    if (words.size() == 2 && words[1] == lone.word) scan.command = lone.command;
  }
  if (scan.command != Command::kUsage) {
    scan.refusal = flag_refusal(scan.command, request);
    if (failed(scan.refusal)) scan.command = Command::kUsage;
    return scan;
  }
  if (words.size() < 2) {
    scan.refusal = refused("", "no option given");
    return scan;
  }
  const size_t wrong = first_wrong_pair(words);
  if (wrong < words.size()) {
    scan.refusal = shifted_pair(words, wrong);
    return scan;
  }
  SeenOptions seen;
  for (size_t i = 1; i + 1 < words.size(); i += 2) {
    scan.refusal = pair_refusal(words[i], words[i + 1], request, seen, scan.notice);
    if (failed(scan.refusal)) return scan;
  }
  scan.command = choose_command(seen, scan.refusal);
  if (scan.command != Command::kUsage) scan.refusal = flag_refusal(scan.command, request);
  if (failed(scan.refusal)) scan.command = Command::kUsage;
  // Only an add's length is held: with any other command the length is not used.
  if (scan.command != Command::kAdd) scan.notice.clear();
  return scan;
}

Fault name_refusal(const std::string& name, FormatRequest& request) {
  bool seen = false;
  return label_refusal("-d", name, request, seen);
}

Fault format_refusal(const std::string& name, const std::string& width, const std::string& length,
                     FormatRequest& request) {
  bool seen = false;
  std::string notice;
  Fault refusal = label_refusal("-n", name, request, seen);
  if (!failed(refusal)) refusal = width_refusal(width, request);
  if (!failed(refusal)) refusal = length_refusal(length, request, notice);
  return refusal;
}
