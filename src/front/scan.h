// Turns the option pairs of a command line into a FormatRequest and a command.
#ifndef VTPAPERTOOL_FRONT_SCAN_H_
#define VTPAPERTOOL_FRONT_SCAN_H_

#include <string>
#include <vector>

#include "formats/request.h"
#include "ops/executor.h"
#include "store/fault.h"

// What scanning made of a command line.
struct Scan {
  Command command = Command::kUsage;
  Fault refusal;       // with kUsage: which word was wrong and why
  std::string notice;  // otherwise: a length that the tape's limits changed, and to what
};

// Scans words[1..] (words[0] is the invocation name) into request, whose model must
// already be identified. A malformed command line gives kUsage, with the request holding
// whatever was stored up to the rejection.
Scan scan_command_line(const std::vector<std::string>& words, FormatRequest& request);

// Scans a name as "-d name" would be scanned into request; a refusal says why not.
Fault name_refusal(const std::string& name, FormatRequest& request);

// Scans one format as "-n name -w width -h length" would be scanned into request; a
// refusal says why not, as the option's refusal says it.
Fault format_refusal(const std::string& name, const std::string& width, const std::string& length,
                     FormatRequest& request);

#endif  // VTPAPERTOOL_FRONT_SCAN_H_
