// The parsed command that every operation receives, and the model table that names it.
#ifndef VTPAPERTOOL_FRONT_REQUEST_H_
#define VTPAPERTOOL_FRONT_REQUEST_H_

#include <cstdint>
#include <string>

// Roll models print at 300 dpi and take any size; every tape model is kind 3.
constexpr int32_t kTapeModelKind = 3;

// One parsed command line. Value-initialised, every text is empty and every number 0.
struct FormatRequest {
  int32_t model_kind = 0;
  std::string work_path;
  std::string model_id;
  std::string printer_name;
  std::string label_name;
  std::string tape_media;
  int64_t width_mm = 0;
  int64_t length_mm = 0;
  int64_t print_width_dots = 0;
};

inline bool is_tape_model(const FormatRequest& request) { return request.model_kind > 2; }

// Finds the model whose key the invocation name contains, earliest table row first.
// On success stores model_kind and model_id and returns true; otherwise leaves the
// request untouched and returns false.
bool identify_model(const std::string& invocation_name, FormatRequest& request);

// The model's name as the usage screen shows it; empty for roll models.
std::string display_name(const std::string& model_id);

#endif  // VTPAPERTOOL_FRONT_REQUEST_H_
