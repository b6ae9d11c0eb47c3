// The formats code called in-process: the model table against what the build installs and
// completes, tape fitting at every boundary, the key's fields, and the entries and dots of
// each model family.
#include <gtest/gtest.h>

#include <sstream>

#include "formats/entries.h"
#include "formats/key.h"
#include "formats/tape.h"
#include "support/harness.h"

namespace {

FormatRequest request_for(ModelKind kind, const std::string& name, int64_t width, int64_t length) {
  FormatRequest request;
  request.model_kind = kind;
  request.label_name = name;
  request.width_mm = width;
  request.length_mm = length;
  return request;
}

TEST(Models, BuildAndCompletionFollowTheTable) {
  std::string ids, roll, tape;
  for (const Model& model : kModels) {
    ids += std::string(ids.empty() ? "" : " ") + model.id;
    std::string& patterns = model.kind == ModelKind::kTape ? tape : roll;
    patterns += std::string(patterns.empty() ? "" : " | ") + "*" + model.name_part + "*";
  }
  EXPECT_EQ(ids, MODEL_IDS);
  const std::string completion = read_file(fs::path(SOURCE_DIR) / "completion/vtpapertoollpr.bash");
  EXPECT_NE(completion.find("    " + roll + ") ;;\n"), std::string::npos) << roll;
  EXPECT_NE(completion.find("    " + tape + ") widths="), std::string::npos) << tape;
}

// "<label name> <-w> <width kept, or refused> <tape media or -> <dots>"
TEST(Tape, WidthsAtEveryBoundary) {
  // clang-format off
  const char* const fits[] = {
      "A 1 1 - 48",  "A 2 2 - 48",  "A 3 2 _vtS3.5mm_ 48", "A 5 2 _vtS3.5mm_ 48", "A 6 4 _vtS6mm___ 64",
      "A 7 7 - 106", "A 8 7 _vtS9mm___ 106", "A 10 10 - 150", "A 12 10 _vtS12mm__ 150", "A 13 13 - 234",
      "A 17 16 _vtS18mm__ 234", "A 19 19 - 320", "A 24 22 _vtS24mm__ 320", "A 25 25 - 454",
      "A 36 31 _vtS36mm__ 454", "A 37 refused", "Hs 37 refused", "HS 4 4 - 56", "hs 5 4 _vtHS6mm__ 56",
      "HS 7 7 - 96", "HS 9 7 _vtHS9mm__ 96", "HS 10 9 _vtHS12mm_ 132", "HS 15 15 - 212",
      "HS 16 15 _vtHS18mm_ 212", "HS 19 18 _vtHS24mm_ 256", "HS 24 18 _vtHS24mm_ 256", "HS 25 25 - 0",
  };
  // clang-format on
  for (const char* fit : fits) {
    std::istringstream row(fit);
    std::string name, kept, media;
    int64_t width = 0, dots = 0;
    row >> name >> width >> kept >> media >> dots;
    FormatRequest request = request_for(ModelKind::kTape, name, width, 50);
    ASSERT_EQ(fit_tape_width(request), kept != "refused") << fit;
    if (kept == "refused") continue;
    EXPECT_EQ(std::to_string(request.width_mm) + " " +
                  (request.tape_media.empty() ? "-" : request.tape_media) + " " +
                  std::to_string(request.print_width_dots),
              kept + " " + media + " " + std::to_string(dots));
  }
}

TEST(Tape, LengthsAtEveryBoundary) {
  const std::tuple<const char*, int64_t, int64_t> lengths[] = {
      {"A", 1, 4},      {"A", 3, 4},       {"A", 4, 4},       {"A", 5, 5},
      {"HS", 3, 4},     {"A", 1000, 1000}, {"A", 1001, 1000}, {"tube-hs", 500, 500},
      {"HS", 501, 500}, {"Hs", 800, 800},
  };
  for (const auto& [name, length, held] : lengths) {
    FormatRequest request = request_for(ModelKind::kTape, name, 12, length);
    limit_tape_length(request);
    EXPECT_EQ(request.length_mm, held) << name << " -h " << length;
  }
}

// A key time already taken is passed over, the search wraps around the last value, and
// when every one is taken the user is told so.
TEST(Key, UniqueTimes) {
  FormatRequest tube = request_for(ModelKind::kTape, "Tube12", 12, 50);
  ASSERT_TRUE(fit_tape_width(tube));
  const FormatRequest roll = request_for(ModelKind::kRoll, "Roll", 29, 90);
  KeyTimes taken = no_key_times();
  std::string unique;
  mark_key_time(compose_key(tube, {0xF, 0xFFFF}), key_prefix(tube), taken);
  mark_key_time(compose_key(roll, {0x0, 0x0}), key_prefix(tube), taken);  // another prefix
  ASSERT_FALSE(failed(compose_unique_key(tube, {0xF, 0xFFFF}, taken, unique)));
  EXPECT_EQ(unique, "VtL_vtS12mm__060A03200000");
  for (uint32_t time = 0; time < (1u << 20); ++time) taken.insert(time);
  EXPECT_EQ(
      reason(compose_unique_key(tube, {0, 0}, taken, unique)),
      "every one of the 1048576 key times is taken by formats of its tape, name length and size");
}

struct Family {
  ModelKind kind;
  const char* name;
  int64_t width, length;
  const char* paper;    // after "<key>/<name>"
  const char* imaging;  // after "<key>\t:\t0.00\t0.00\t"
  const char* media;
};

TEST(Entries, DotsAndPointsOfEachFamily) {
  const Family families[] = {
      {ModelKind::kTape, "Tube12", 12, 50, ":\t150\t707\n", "30.00\t141.52\n", "Media=vtS12mm\n"},
      {ModelKind::kTape, "HS30", 30, 50, ":\t0\t707\n", "0.00\t141.52\n", "Media=vtS12mm\n"},
      {ModelKind::kRoll, "Roll", 29, 90, ":\t306\t990\n", "0.00\t254.73\n", "MediaSize=29X1\n"},
      {ModelKind::kRoll, "Thin", 2, 90, ":\t-11\t990\n", "0.00\t254.73\n", "MediaSize=29X1\n"},
  };
  for (const Family& family : families) {
    FormatRequest request = request_for(family.kind, family.name, family.width, family.length);
    if (family.kind == ModelKind::kTape) {
      ASSERT_TRUE(fit_tape_width(request));
    }
    const std::string key = compose_key(request, {0x17, 123456});
    const std::string named = key + "/" + family.name;
    EXPECT_EQ(function_entry(key, request), named + "\n");
    EXPECT_EQ(paper_table_entry(key, request), named + family.paper);
    EXPECT_EQ(imaging_area_entry(key, request), key + "\t:\t0.00\t0.00\t" + family.imaging);
    EXPECT_EQ(default_media_line(request), family.media);
  }
}

}  // namespace
