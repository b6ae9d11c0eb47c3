#include "formats/request.h"

bool identify_model(const std::string& invocation_name, FormatRequest& request) {
  for (const Model& model : kModels) {
    if (invocation_name.find(model.name_part) != std::string::npos) {
      request.model_kind = model.kind;
      request.model_id = model.id;
      return true;
    }
  }
  return false;
}

std::string display_name(const std::string& model_id) {
  for (const Model& model : kModels) {
    if (model_id == model.id) return model.display_name;
  }
  return "";
}
