#include "formats/request.h"

namespace {

struct ModelRow {
  const char* key;
  int32_t kind;
  const char* id;
};

// Order matters: "lmq700k" must win over "lmq700", which it contains.
constexpr ModelRow kModels[] = {
    {"rk210", 0, "rk210"},     {"rk260", 1, "rk260"},       {"rk380xn", 2, "rk380xn"},
    {"lm4200", 3, "lm4200fx"}, {"lmq750ks", 3, "lmq750ks"}, {"lmq700k", 3, "lmq700k"},
    {"lmq700", 3, "lmq700"},
};

}  // namespace

bool identify_model(const std::string& invocation_name, FormatRequest& request) {
  for (const ModelRow& row : kModels) {
    if (invocation_name.find(row.key) != std::string::npos) {
      request.model_kind = row.kind;
      request.model_id = row.id;
      return true;
    }
  }
  return false;
}
