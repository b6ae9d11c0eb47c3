// The usage screen that answers every malformed command line.
#ifndef VTPAPERTOOL_FRONT_USAGE_H_
#define VTPAPERTOOL_FRONT_USAGE_H_

#include <string>

#include "formats/request.h"

// The whole screen for the request's model, byte for byte as it is printed.
std::string usage_screen(const FormatRequest& request);

// Writes usage_screen() to standard output; reads only model_id.
void print_usage_screen(FormatRequest request);

// What --help prints after the screen: one line per option the screen does not show.
std::string options_help();

#endif  // VTPAPERTOOL_FRONT_USAGE_H_
