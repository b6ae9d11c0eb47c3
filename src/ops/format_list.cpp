#include "ops/format_list.h"

bool is_control_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

std::string octal_escape(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
          static_cast<char>('0' + (byte & 7))};
}

std::string escaped_name(const std::string& name) {
  std::string text;
  for (const char c : name) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\t') {
      text += "\\t";
    } else {
      text += is_control_byte(c) ? octal_escape(c) : std::string(1, c);
    }
  }
  return text;
}

namespace {

std::string size_of(const FormatOnFile& format) {
  if (format.entries[kPaperTable].empty() || failed(format.unjudged)) return "-\t-";
  return std::to_string(format.request.width_mm) + "\t" + std::to_string(format.request.length_mm);
}

std::string state_of(const FormatOnFile& format) {
  const bool incomplete = !is_whole(format);
  if (format.current) return incomplete ? "current,incomplete" : "current";
  return incomplete ? "incomplete" : "-";
}

}  // namespace

Outcome list_label_formats(const OnFile& on_file) {
  Outcome outcome;
  for (const FormatOnFile& format : on_file.formats) {
    if (format.name.empty()) continue;
    outcome.output += escaped_name(format.name) + "\t" + size_of(format) + "\t" + format.key +
                      "\t" + state_of(format) + "\n";
  }
  return outcome;
}
