// Where a model's sibling tool, data files and temporary files live.
#ifndef VTPAPERTOOL_STORE_PATHS_H_
#define VTPAPERTOOL_STORE_PATHS_H_

#include <string>
#include <vector>

std::string sibling_tool_path(const std::string& model_id);
std::string data_directory(const std::string& model_id);
std::string function_file_path(const std::string& model_id);
std::string paper_table_path(const std::string& model_id);
std::string settings_file_path(const std::string& model_id);
std::string imaging_area_path(const std::string& model_id);

// The model's four data files, in the order a change installs them; DataFile indexes them.
std::vector<std::string> data_file_paths(const std::string& model_id);
enum DataFile { kFunctionFile, kPaperTable, kSettingsFile, kImagingArea, kDataFileCount };

// The record that says which prepared files a change installs, while it installs them.
std::string commit_record_path(const std::string& model_id);

// The last part of a path: the name of the file in its directory.
std::string file_name(const std::string& path);

// The file a data file's new contents are written to before they take its place.
std::string temporary_path(const std::string& data_file_path);

#endif  // VTPAPERTOOL_STORE_PATHS_H_
