// Catalogues: a model's formats as lines of text, exported from one print server and
// applied to others as one change, and what a change would do, told without making it.
#ifndef VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_
#define VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_

#include <string>
#include <vector>

#include "formats/request.h"
#include "ops/outcome.h"

// Output "<name>\t<width>\t<length>\n" per format, in the order --list shows them. The
// width is the one that, given to -w, fits to the same tape and dots, so that applying
// the text gives every format its numbers back. Gives kDone; or kDataFileFailed, also when
// a format cannot stand in a catalogue (not whole, its name another format's too, or
// holding a tab), naming it.
Outcome export_label_formats(FormatRequest request);

// Makes the model's formats hold each of formats (requests scanned as -n, -w and -h scan
// them), in one change: a name not on file is added, one whose paper table or ImagingArea
// numbers would differ is replaced, one whose numbers are the same is left as it is; with
// request.prune, every name on file that formats does not hold is deleted, last. The
// sibling tool gets each format's calls in the order of formats. The output has one line
// per format changed, in that order, also when a later one failed:
// "add\t<name>\t<width>\t<length>", "replace\t..." or "delete\t<name>", with the name,
// width and length as --list shows them; with request.dry_run the lines of what would
// change, and nothing changes. Gives what make_change gives; on a refusal the formats
// before the refused one are committed, a format whose replacement was refused after its
// delete went through is gone (its line says "delete"), and the fault's subject names the
// format.
Outcome apply_catalogue(FormatRequest request, const std::vector<FormatRequest>& formats);

// The change line that add_label_format, or delete_label_format, would make: "add" or
// "replace", or "delete" (nothing for a name on no file). No file is changed and the
// sibling tool is not asked. Gives kDone with the line as output, or kDataFileFailed.
Outcome preview_add(FormatRequest request);
Outcome preview_delete(FormatRequest request);

#endif  // VTPAPERTOOL_OPS_FORMAT_CATALOGUE_H_
