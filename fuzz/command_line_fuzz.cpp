// Arbitrary command lines through the front end, as run_tool would see them, without
// running any operation: each ends in the invalid-name message, the version line, the
// usage screen or a request every later step can take as it stands.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "front/request.h"
#include "front/scan.h"
#include "front/usage.h"
#include "ops/sibling.h"
#include "store/format_id.h"
#include "store/records.h"

namespace {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "command line fuzz: %s\n", what);
  std::abort();
}

// Words are the input's zero-separated pieces, as the kernel hands over argv.
std::vector<std::string> words_of(const uint8_t* data, size_t size) {
  std::vector<std::string> words(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.emplace_back();
    } else {
      words.back() += static_cast<char>(data[i]);
    }
  }
  return words;
}

bool untouched(const FormatRequest& request) {
  return request.model_kind == 0 && request.model_id.empty() && request.printer_name.empty() &&
         request.label_name.empty() && request.width_mm == 0 && request.length_mm == 0;
}

bool has_line_break(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

void check_usage(const FormatRequest& request) {
  const std::string screen = usage_screen(request);
  const std::string rule = "===========================\n";
  require(screen.compare(0, rule.size(), rule) == 0, "usage screen starts with its rule");
  require(screen.size() > rule.size() &&
              screen.compare(screen.size() - rule.size(), rule.size(), rule) == 0,
          "usage screen ends with its rule");
}

// Options are taken in order, and a repeated one overwrites only what it sets: the name
// known when -w or -h was read decides whether they were fitted as heat-shrink tube, and
// a width beyond the widest tube keeps the dots of an earlier -w. What always holds:
// the dots are a tape's, and the length is within the tapes' limits.
void check_tape_fit(const FormatRequest& request) {
  const std::vector<int64_t> tape_dots{0, 48, 64, 106, 150, 234, 320, 454, 56, 96, 132, 212, 256};
  bool known = false;
  for (const int64_t dots : tape_dots) known = known || request.print_width_dots == dots;
  require(known, "printable dots are a tape's");
  require(request.length_mm >= 4 && request.length_mm <= 1000, "tape length within the limits");
}

// Every line the add would write is one line, and the key has its fixed shape.
void check_records(const FormatRequest& request) {
  const std::string key = compose_format_id(request, {0x17, 123456});
  require(key.size() == kFormatIdLength && key.compare(0, 3, "VtL") == 0, "key shape");
  for (const std::string& entry : {function_entry(key, request), paper_table_entry(key, request),
                                   imaging_area_entry(key, request)}) {
    require(entry.find('\n') == entry.size() - 1, "entry is exactly one line");
  }
  require(!add_command_line(request, key).empty(), "add command line");
}

void check_request(Command command, const FormatRequest& request, const FormatRequest& model) {
  require(request.model_kind == model.model_kind && request.model_id == model.model_id,
          "scanning keeps the model");
  require(!request.printer_name.empty() && request.printer_name.size() <= 1024, "printer name");
  require(!request.label_name.empty() && request.label_name.size() <= 32 &&
              !has_line_break(request.label_name),
          "label name");
  require(!delete_command_line(request).empty(), "delete command line");
  if (command == Command::kDelete) return;
  require(request.width_mm > 0 && request.length_mm > 0, "positive size");
  require(width_fits_records(request) && length_fits_records(request), "size fits the records");
  if (is_tape_model(request)) check_tape_fit(request);
  check_records(request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> words = words_of(data, size);
  FormatRequest request;
  if (!identify_model(words[0], request)) {
    require(untouched(request), "a refused name leaves the request untouched");
    return 0;
  }
  if (words.size() == 2 && words[1] == "--version") return 0;
  const FormatRequest model = request;
  const Command command = scan_command_line(words, request);
  if (command == Command::kUsage) {
    check_usage(request);
    return 0;
  }
  check_request(command, request, model);
  return 0;
}
