#include "store/paths.h"

#include "store/seam.h"

namespace {

std::string model_root(const std::string& model_id) { return vantrel_root() + "/" + model_id; }

}  // namespace

std::string sibling_tool_path(const std::string& model_id) {
  return model_root(model_id) + "/bin/lpd/vtpapertoolcups_" + model_id;
}

std::string data_directory(const std::string& model_id) {
  return model_root(model_id) + "/bin/inf";
}

std::string function_file_path(const std::string& model_id) {
  return data_directory(model_id) + "/vt" + model_id + "func";
}

std::string paper_table_path(const std::string& model_id) {
  return data_directory(model_id) + "/paperinf" + model_id;
}

std::string settings_file_path(const std::string& model_id) {
  return data_directory(model_id) + "/vt" + model_id + "rc";
}

std::string imaging_area_path(const std::string& model_id) {
  return data_directory(model_id) + "/ImagingArea";
}

std::vector<std::string> data_file_paths(const std::string& model_id) {
  return {function_file_path(model_id), paper_table_path(model_id), settings_file_path(model_id),
          imaging_area_path(model_id)};
}

std::string commit_record_path(const std::string& model_id) {
  return data_directory(model_id) + "/vtpapertoollpr.commit";
}

std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string temporary_path(const std::string& data_file_path) { return data_file_path + ".$$$"; }
