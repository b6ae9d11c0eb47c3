// Arbitrary command lines through the front end, without running any operation: each ends
// on the usage screen with a reason, or in a request whose every line the data files can hold.
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/entries.h"
#include "formats/key.h"
#include "formats/tape.h"
#include "front/scan.h"
#include "front/usage.h"
#include "ops/sibling.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

// The names a delete could confuse with another format's, or that would move entries.
void check_request(Command command, const FormatRequest& request) {
  const std::string& name = request.label_name;
  if (command != Command::kAdd && command != Command::kDelete) {
    require(command != Command::kApply ||
            (!request.catalogue_path.empty() && !request.printer_name.empty()));
    require(!request.prune || command == Command::kApply);
    return;
  }
  require(!request.printer_name.empty() && request.printer_name.size() <= kLongestPrinterName);
  require(!name.empty() && name.size() <= kLongestLabelName &&
          name.find_first_of("\r\n") == std::string::npos);
  require(name.find(kCustomTapeHeader) == std::string::npos && !holds_key(name));
  if (command == Command::kDelete) return;
  require(request.width_mm > 0 && width_fits_records(request) && length_fits_records(request));
  if (is_tape_model(request)) {
    require(request.length_mm >= kShortestTapeLength && request.length_mm <= kLongestTapeLength);
  }
  // A roll format must leave a dot inside the margins both ways.
  if (!is_tape_model(request)) {
    require(request.width_mm > kRollWidthMargin && request.length_mm > kRollLengthMargin);
  }
  const std::string key = compose_key(request, {0x17, 123456});
  require(key.size() == kKeyLength && holds_key(key));
  for (const std::string& entry : {function_entry(key, request), paper_table_entry(key, request),
                                   imaging_area_entry(key, request)}) {
    require(entry.find('\n') == entry.size() - 1);
  }
  require(!add_command_line(request, key).empty());
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
  require((scan.command == Command::kUsage) != scan.refusal.empty());
  if (scan.command == Command::kUsage) require(usage_screen(request).size() > 500);
  if (scan.command != Command::kUsage) check_request(scan.command, request);
  return 0;
}
