// The parsed command that every operation receives, and the model table that names it.
#ifndef VTPAPERTOOL_FORMATS_REQUEST_H_
#define VTPAPERTOOL_FORMATS_REQUEST_H_

#include <cstdint>
#include <string>

// One parsed command line. Value-initialised, every text is empty and every number 0.
struct FormatRequest {
  int32_t model_kind = 0;  // 0 to 2: roll models, at 300 dpi; 3: tape models
  std::string model_id;
  std::string printer_name;
  std::string label_name;
  std::string tape_media;
  int64_t width_mm = 0;
  int64_t length_mm = 0;
  int64_t print_width_dots = 0;
  std::string catalogue_path;  // --apply: the catalogue's file, "-" for standard input
  bool prune = false;          // --apply --prune: formats the catalogue does not name go
  bool dry_run = false;        // say what would change, and change nothing
};

inline bool is_tape_model(const FormatRequest& request) { return request.model_kind > 2; }

// Finds the model whose key the invocation name contains, earliest table row first.
// On success stores model_kind and model_id and returns true; otherwise leaves the
// request untouched and returns false.
bool identify_model(const std::string& invocation_name, FormatRequest& request);

#endif  // VTPAPERTOOL_FORMATS_REQUEST_H_
