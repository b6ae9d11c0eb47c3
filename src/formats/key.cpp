#include "formats/key.h"

namespace {

// The time field holds this many values.
constexpr uint32_t kTimeValues = 1u << 20;

int hex_digit(char c, bool either_case) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (either_case && c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The lowest hexadecimal digits of value, as many as digits, upper case and zero-padded:
// the key's fields keep their positions whatever the value.
std::string hex_field(uint64_t value, size_t digits) {
  std::string field(digits, '0');
  for (size_t i = digits; i-- > 0; value >>= 4) field[i] = "0123456789ABCDEF"[value & 0xF];
  return field;
}

uint32_t time_field(ClockReading now) {
  return static_cast<uint32_t>(((now.seconds & 0xF) << 16) | (now.microseconds & 0xFFFF));
}

// The digits after the name length: keys are written in upper case and compared byte for
// byte, so lower case never makes a key.
constexpr KeyField kDigitsAfterLength{kNameLengthField.at, kKeyLength - kNameLengthField.at};

}  // namespace

int64_t key_field_value(std::string_view text, KeyField field, bool either_case) {
  if (text.size() < field.at + field.size) return -1;
  int64_t value = 0;
  for (const char c : text.substr(field.at, field.size)) {
    const int digit = hex_digit(c, either_case);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

std::string compose_key(const FormatRequest& request, ClockReading now) {
  const std::string media = request.tape_media.empty() ? kNoMediaFiller : request.tape_media;
  return std::string(kKeyMark) + media +
         hex_field(request.label_name.size(), kNameLengthField.size) +
         hex_field(static_cast<uint64_t>(request.width_mm), kWidthField.size) +
         hex_field(static_cast<uint64_t>(request.length_mm), kLengthField.size) +
         hex_field(static_cast<uint64_t>(now.seconds), 1) +
         hex_field(static_cast<uint64_t>(now.microseconds), kTimeField.size - 1);
}

std::string key_prefix(const FormatRequest& request) {
  return compose_key(request, {0, 0}).substr(0, kTimeField.at);
}

KeyTimes no_key_times() { return {}; }

void mark_key_time(std::string_view key, std::string_view prefix, KeyTimes& taken) {
  if (key.size() < kKeyLength || key.compare(0, prefix.size(), prefix) != 0) return;
  const int64_t time = key_field_value(key, kTimeField);
  if (time >= 0) taken.insert(static_cast<uint32_t>(time));
}

// The search walks the time field itself, so that it meets each of its values once; a
// walk by microseconds would pass the seconds' digit through only two of its values.
Fault compose_unique_key(const FormatRequest& request, ClockReading now, const KeyTimes& taken,
                         std::string& key) {
  const uint32_t first = time_field(now);
  for (uint32_t step = 0; step < kTimeValues; ++step) {
    const uint32_t time = (first + step) % kTimeValues;
    if (taken.count(time) != 0) continue;
    key = compose_key(request, {time >> 16, time & 0xFFFF});
    return {};
  }
  return {0, "format '" + request.label_name + "'",
          "every one of the " + std::to_string(kTimeValues) +
              " key times is taken by formats of its tape, name length and size"};
}

ClockReading time_after(std::string_view key) {
  const uint32_t next = (static_cast<uint32_t>(key_field_value(key, kTimeField)) + 1) % kTimeValues;
  return {next >> 16, next & 0xFFFF};
}

bool is_key_at(std::string_view text, size_t at) {
  return at <= text.size() && key_field_value(text.substr(at), kDigitsAfterLength) >= 0;
}

bool holds_key(std::string_view text) {
  for (size_t at = text.find(kKeyMark); at != std::string_view::npos;
       at = text.find(kKeyMark, at + 1)) {
    if (is_key_at(text, at)) return true;
  }
  return false;
}
