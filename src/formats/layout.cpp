#include "formats/layout.h"

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

FileSet model_files(const std::string& model_id) {
  const std::string directory = data_directory(model_id);
  return {directory,
          {directory + "/vt" + model_id + "func", directory + "/paperinf" + model_id,
           directory + "/vt" + model_id + "rc", directory + "/ImagingArea"}};
}
