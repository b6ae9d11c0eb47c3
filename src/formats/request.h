// The parsed command that every operation receives, and the table of printer models.
#ifndef VTPAPERTOOL_FORMATS_REQUEST_H_
#define VTPAPERTOOL_FORMATS_REQUEST_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Roll models print at 300 dpi on any size; tape models print at 360 dpi on a few tape
// widths, to which every size is fitted.
enum class ModelKind { kRoll, kTape };

// One parsed command line. Value-initialised, every text is empty and every number 0.
struct FormatRequest {
  ModelKind model_kind = ModelKind::kRoll;
  std::string model_id;
  std::string printer_name;
  std::string label_name;
  std::string tape_media;
  int64_t width_mm = 0;
  int64_t length_mm = 0;
  int64_t print_width_dots = 0;
  std::string catalogue_path;  // --apply, --delete-listed: the file, "-" for standard input
  bool prune = false;          // --apply --prune: formats the catalogue does not name go
  bool allow_empty = false;    // --prune may take a catalogue of no format, deleting all
  bool dry_run = false;        // say what would change, and change nothing
};

// The longest texts a request takes, in bytes.
constexpr size_t kLongestPrinterName = 1024;
constexpr size_t kLongestLabelName = 32;

struct Model {
  const char* name_part;  // what the program's name holds to select the model
  const char* id;         // the model's folder, sibling tool and program suffix
  ModelKind kind;
  const char* display_name;  // the printer's name in the usage screen's examples
};

// Searched in order: "lmq700k" must win over "lmq700", which it contains. The build reads
// the ids from here for the programs it installs, so each row stays on one line.
// clang-format off
inline constexpr std::array<Model, 7> kModels{{
    {"rk210", "rk210", ModelKind::kRoll, ""},
    {"rk260", "rk260", ModelKind::kRoll, ""},
    {"rk380xn", "rk380xn", ModelKind::kRoll, ""},
    {"lm4200", "lm4200fx", ModelKind::kTape, "LM-4200FX"},
    {"lmq750ks", "lmq750ks", ModelKind::kTape, "LM-Q750ks"},
    {"lmq700k", "lmq700k", ModelKind::kTape, "LM-Q700k"},
    {"lmq700", "lmq700", ModelKind::kTape, "LM-Q700"},
}};
// clang-format on

inline bool is_tape_model(const FormatRequest& request) {
  return request.model_kind == ModelKind::kTape;
}

// Finds the model whose name part the invocation name contains, earliest row first. On
// success stores model_kind and model_id and returns true; otherwise leaves the request
// untouched and returns false.
bool identify_model(const std::string& invocation_name, FormatRequest& request);

// The display name of the model with this id; empty for roll models and unknown ids.
std::string display_name(const std::string& model_id);

#endif  // VTPAPERTOOL_FORMATS_REQUEST_H_
