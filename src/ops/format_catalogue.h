// Catalogues: a model's formats as lines of text, exported from one print server and
// applied to others as one change, and what a change would do, told without making it.
#ifndef VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_
#define VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_

#include <vector>

#include "formats/on_file.h"
#include "formats/request.h"
#include "ops/outcome.h"

// Output "<name>\t<width>\t<length>\n" per format, in the order --list shows them. The
// width is the one that, given to -w, fits to the same tape and dots, so that applying
// the text makes the same entries. Fails, naming the format, when one cannot stand in a
// catalogue: not whole, its name another format's too, a tab in its name, or a width no
// command can give.
Outcome export_label_formats(const OnFile& on_file);

// Makes the model's formats hold each of formats (requests scanned as -n, -w and -h scan
// them), in one change: a name not on file is added, one whose key or entries would differ
// is replaced, one that is whole and the same is left as it is; with request.prune, every
// name on file that formats does not hold is deleted, last. The sibling tool gets each
// format's calls in the order of formats. The outcome's changes are those of
// make_change; with request.dry_run the changes it would make, and nothing changes. On a
// refusal the formats before the refused one are committed, and the fault's subject names
// the refused format.
Outcome apply_catalogue(FormatRequest request, const std::vector<FormatRequest>& formats,
                        const OnFile& on_file);

// Deletes every format that one of names stands under (requests scanned as -d scans
// them), in one change; a name on no file is left alone, not even asked of the sibling
// tool. The outcome is as apply_catalogue's.
Outcome delete_listed(FormatRequest request, const std::vector<FormatRequest>& names,
                      const OnFile& on_file);

// The change that add_label_format, or delete_label_format, would make. No file is
// changed and the sibling tool is not asked.
Outcome preview_add(FormatRequest request, const OnFile& on_file);
Outcome preview_delete(FormatRequest request, const OnFile& on_file);

#endif  // VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_
