// Where a model's sibling tool and data files live in its driver tree.
#ifndef VTPAPERTOOL_FORMATS_LAYOUT_H_
#define VTPAPERTOOL_FORMATS_LAYOUT_H_

#include <string>

#include "store/transaction.h"

std::string sibling_tool_path(const std::string& model_id);
std::string data_directory(const std::string& model_id);

// The model's four data files, in the order a change installs them; DataFile indexes
// files.
FileSet model_files(const std::string& model_id);
enum DataFile { kFunctionFile, kPaperTable, kSettingsFile, kImagingArea, kDataFileCount };

#endif  // VTPAPERTOOL_FORMATS_LAYOUT_H_
