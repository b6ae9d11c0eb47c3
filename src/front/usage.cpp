#include "front/usage.h"

#include <algorithm>
#include <cstdio>

#include "formats/tape.h"

namespace {

const char kRule[] = "===========================\n";
const char kNotice[] = "Adds and deletes custom label formats of a label printer";

struct OptionHelp {
  const char* words;
  const char* does;
};

// Every option the screen above does not show, as the manual page describes it.
constexpr OptionHelp kMoreOptions[] = {
    {"--list", "list the formats: name, sizes, key, state"},
    {"--export", "print the formats as a catalogue"},
    {"-P NAME --apply FILE", "make the formats those FILE lists (-: stdin)"},
    {"--prune", "with --apply: delete formats FILE does not name"},
    {"--allow-empty", "with --prune: take a FILE that names no format"},
    {"-P NAME --delete-listed FILE", "delete the formats FILE names, one a line"},
    {"--dry-run", "say what would change, and change nothing"},
    {"--check", "report what is wrong (status 1 if anything)"},
    {"--repair", "mend what the files tell how to mend"},
    {"--model", "print the printer model this program runs as"},
    {"--version", "print the version"},
    {"--help", "print this help"},
};

}  // namespace

std::string usage_screen(const FormatRequest& request) {
  const std::string& id = request.model_id;
  const std::string name = display_name(id);
  std::string screen = kRule;
  screen +=
      std::string(" LPRng Paper Size Tool (v ") + VTPAPERTOOL_VERSION + ")\t" + kNotice + "\n";
  screen +=
      " Usage: vtpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=" +
      std::to_string(kLongestLabelName) +
      " bytes) -w Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n";
  screen += " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between " +
            std::to_string(kShortestTapeLength) + "mm and " + std::to_string(kLongestTapeLength) +
            "mm(HS tape max is " + std::to_string(kLongestTubeLength) + "mm)\n";
  screen += " For example:\n";
  screen +=
      " 1. Add a new Label Format with \"New Label Format\" name and 12mm width and 50mm "
      "length:\n";
  screen += "\t\"vtpapertoollpr_" + id + " -P " + name +
            " -n New\\ Label Namw (\"HS\" contain name means heat srink tube "
            "ex.HS12mmx50mm)\\ Format -w 12 -h 50\" [enter]\n\n";
  screen += " 2. Remove the Label Format with \"New Label Format\" name:\n";
  screen += "\t\"vtpapertoollpr_" + id + " -P " + name + " -d New\\ Label\\ Format\" [enter]\n\n";
  screen += kRule;
  return screen;
}

std::string options_help() {
  std::string help = " More options:\n";
  for (const OptionHelp& option : kMoreOptions) {
    std::string words = option.words;
    words.resize(std::max<size_t>(words.size() + 2, 31), ' ');
    help += "  " + words + option.does + "\n";
  }
  return help;
}

void print_usage_screen(FormatRequest request) {
  const std::string screen = usage_screen(request);
  std::fwrite(screen.data(), 1, screen.size(), stdout);
}
