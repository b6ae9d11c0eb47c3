#include "front/system_log.h"

#include <pwd.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "formats/entries.h"
#include "store/seam.h"

namespace {

const char* command_word(Command command) {
  static const char* const kWords[] = {
      "",         "-n",       "-d",      "--list",          "--check",
      "--repair", "--export", "--apply", "--delete-listed", "--model"};
  return kWords[static_cast<int>(command)];
}

// Who ran the command: the user, and under sudo the user who asked for it.
std::string user() {
  const uid_t uid = ::getuid();
  const passwd* entry = ::getpwuid(uid);
  std::string who =
      (entry != nullptr ? entry->pw_name : "?") + std::string(" (uid ") + std::to_string(uid);
  const char* asked = std::getenv("SUDO_USER");
  if (asked != nullptr && *asked != '\0') who += std::string(", sudo from ") + asked;
  return who + ")";
}

std::string keys(const std::vector<std::string>& keys) {
  std::string all;
  for (const std::string& key : keys) all += (all.empty() ? "" : ", ") + key;
  return all;
}

std::string sizes(const FormatRequest& format) {
  return std::to_string(width_to_ask(format)) + " x " + std::to_string(format.length_mm) + " mm";
}

std::string what_changed(const FormatChange& change) {
  const std::string name = "'" + change.format.label_name + "'";
  switch (change.kind) {
    case ChangeKind::kAdd:
      return "added " + name + " as " + change.key + ", " + sizes(change.format);
    case ChangeKind::kReplace:
      return "replaced " + name + " (" + keys(change.old_keys) + ") by " + change.key + ", " +
             sizes(change.format);
    case ChangeKind::kDelete:
      break;
  }
  return "deleted " + name + " (" + keys(change.old_keys) + ")";
}

// A repair's report says what it mended; the rest it left.
bool repair_changed_files(Command command, const Outcome& outcome) {
  if (command != Command::kRepair || outcome.status == Status::kFailed) return false;
  for (size_t start = 0; start < outcome.output.size();) {
    const size_t end = outcome.output.find('\n', start);
    const std::string line = outcome.output.substr(start, end - start);
    if (line.find("\tnot mended: ") == std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool changed_the_files(Command command, const FormatRequest& request, const Outcome& outcome) {
  if (request.dry_run) return false;
  return repair_changed_files(command, outcome) ||
         std::any_of(outcome.changes.begin(), outcome.changes.end(),
                     [](const FormatChange& change) { return change.made; });
}

void log_outcome(const std::string& program, Command command, const FormatRequest& request,
                 const Outcome& outcome) {
  if (request.dry_run) return;
  const std::string lead = request.model_id + ": " + command_word(command) + " by " + user() + ": ";
  for (const FormatChange& change : outcome.changes) {
    if (change.made) write_system_log(program, LOG_NOTICE, lead + what_changed(change));
  }
  if (repair_changed_files(command, outcome)) {
    write_system_log(program, LOG_NOTICE, lead + "mended the data files, as it reported");
  }
  for (const Fault& note : outcome.notes) {
    write_system_log(program, LOG_ERR, lead + described(note));
  }
  if (outcome.status == Status::kRecorded) {
    write_system_log(
        program, LOG_ERR,
        lead + "the change is recorded for the next run to finish: " + described(outcome.fault));
  }
}
