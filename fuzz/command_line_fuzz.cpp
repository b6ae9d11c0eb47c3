// Arbitrary command lines through the front end, without running any operation: each ends
// on the usage screen with a reason, or in a request whose entries the data files hold
// whole, read back as the same format, and made again alike from the width a catalogue
// would give for it.
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/entries.h"
#include "formats/key.h"
#include "formats/on_file.h"
#include "front/scan.h"
#include "front/usage.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

// The format as the files would hold it after the add, judged as a later run judges it.
FormatOnFile read_back(const FormatRequest& request, const std::string& key) {
  FormatOnFile format;
  format.key = key;
  format.name = request.label_name;
  const std::string lines[] = {function_entry(key, request), paper_table_entry(key, request), "",
                               imaging_area_entry(key, request)};
  for (const DataFile file : kEntryFiles) {
    require(lines[file].find('\n') == lines[file].size() - 1);
    format.entries[file].push_back({lines[file].substr(0, lines[file].size() - 1), "", false, 0});
  }
  FormatRequest model;
  model.model_kind = request.model_kind;
  judge_format(model, format);
  return format;
}

void check_add(const FormatRequest& request) {
  const std::string key = compose_key(request, {0x17, 123456});
  require(key.size() == kKeyLength && holds_key(key) && !holds_key(request.label_name));
  const FormatOnFile format = read_back(request, key);
  require(is_whole(format) && format.request.width_mm == request.width_mm &&
          format.request.length_mm == request.length_mm);
  // Where the formats code says a catalogue line gives the format back, the front end
  // scanning that line must agree.
  if (failed(catalogue_refusal(request))) return;
  FormatRequest again;
  again.model_kind = request.model_kind;
  const Fault refusal = format_refusal(request.label_name, std::to_string(width_to_ask(request)),
                                       std::to_string(request.length_mm), again);
  require(!failed(refusal) && paper_table_entry(key, again) == paper_table_entry(key, request) &&
          compose_key(again, {0x17, 123456}) == key);
}

}  // namespace

// Words are the input's zero-separated pieces, as the kernel hands over argv; the first
// byte chooses a tape or a roll model.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> words{data[0] & 1 ? "vtpapertoollpr_lmq700k" : "vtpapertoollpr_rk260",
                                 ""};
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) words.emplace_back();
    if (data[i] != 0) words.back() += static_cast<char>(data[i]);
  }
  FormatRequest request;
  identify_model(words[0], request);
  const Scan scan = scan_command_line(words, request);
  require((scan.command == Command::kUsage) == failed(scan.refusal));
  if (scan.command == Command::kUsage) require(usage_screen(request).size() > 500);
  if (scan.command == Command::kAdd) check_add(request);
  return 0;
}
