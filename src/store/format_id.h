// The key that ties a custom format's lines together, and its lookup by label name.
#ifndef VTPAPERTOOL_STORE_FORMAT_ID_H_
#define VTPAPERTOOL_STORE_FORMAT_ID_H_

#include <cstddef>
#include <string>

#include "front/request.h"
#include "store/seam.h"

constexpr size_t kFormatIdLength = 25;

// Stands in for the tape media field when no media was recorded; it cannot be taken for
// a media name and holds no "VtL".
constexpr char kNoMediaFiller[] = "__________";

// "VtL", the media field, the name length, the width's low 8 bits, the length's low 12
// bits and the clock's low bits, all upper-case hexadecimal: always 25 characters.
std::string compose_format_id(const FormatRequest& request, ClockReading now);

// Looks through the file at path for the first line whose first "VtL" starts a key
// followed by label_name. Returns 1 with the key in out_key, 0 when no line has one or
// the file does not exist, -1 with errno set when the file cannot be opened or read.
int find_format_id(const std::string& path, const std::string& label_name, std::string& out_key);

#endif  // VTPAPERTOOL_STORE_FORMAT_ID_H_
