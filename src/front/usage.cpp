#include "front/usage.h"

#include <cstdio>

namespace {

const char kRule[] = "===========================\n";
const char kVersion[] = "v 0.2";
const char kNotice[] = "Adds and deletes custom label formats of a label printer";
const int kLongestLabelName = 32;

struct DisplayRow {
  const char* key;
  const char* name;
};

// The model's name as the example shows it; roll models have none.
constexpr DisplayRow kDisplayNames[] = {
    {"lm420", "LM-4200FX"},
    {"lmq750ks", "LM-Q750ks"},
    {"lmq700k", "LM-Q700k"},
    {"lmq700", "LM-Q700"},
};

std::string display_name(const std::string& model_id) {
  for (const DisplayRow& row : kDisplayNames) {
    if (model_id.find(row.key) != std::string::npos) return row.name;
  }
  return "";
}

}  // namespace

std::string usage_screen(const FormatRequest& request) {
  const std::string& id = request.model_id;
  const std::string name = display_name(id);
  std::string screen = kRule;
  screen += std::string(" LPRng Paper Size Tool (") + kVersion + ")\t" + kNotice + "\n";
  screen +=
      " Usage: vtpapertoollpr_xxxx -P Printer Name [-n add a Lable Format Name (<=" +
      std::to_string(kLongestLabelName) +
      " bytes) -w Media Width(unit:mm) -h Media Height(unit:mm)]/[-d delete Lable Format Name]\n";
  screen +=
      " **Label width is  3.5mm,6mm,9mm,12mm,18mm,24mm,36mm and Height is between 4mm and "
      "1000mm(HS tape max is 500mm)\n";
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

void print_usage_screen(FormatRequest request) {
  const std::string screen = usage_screen(request);
  std::fwrite(screen.data(), 1, screen.size(), stdout);
}
