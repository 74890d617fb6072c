// The text of check's report, one line per finding and per patch, built
// here so that every front-end shows the same lines.
#ifndef TORVEL_PATCH_REPORT_H
#define TORVEL_PATCH_REPORT_H

#include "patch/check.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvel {

// One finding, without a line end:
//   FILE:LINE:COLUMN: message              a patch that cannot be read
//   FILE:LINE: problem: offset XXXXXXXX: what
//   FILE:LINE: note: offset XXXXXXXX: what
// DumpName names the dump as the user gave it.
std::string findingLine(const std::vector<PatchInput> &Inputs,
                        const CheckOutcome &Checked, const Diagnostic &D,
                        const std::string &DumpName);

// "FILE: R records, B bytes, pictures 1, 3-5: applies to DUMP", or
// "already applied to DUMP", or "does not apply to DUMP: P problems, N
// notes"; without a line end.
std::string summaryLine(const std::vector<PatchInput> &Inputs,
                        const CheckOutcome &Checked, std::uint32_t Patch,
                        const std::string &DumpName);

// Every patch's findings in line order, each patch followed by its summary
// line when WithSummaries; LF line ends. Sink takes the text in pieces and
// stops the report by returning false, which comes back.
bool writeReport(const std::vector<PatchInput> &Inputs,
                 const CheckOutcome &Checked, const std::string &DumpName,
                 bool WithSummaries,
                 const std::function<bool(std::string_view)> &Sink);

// The same report as one text.
std::string reportText(const std::vector<PatchInput> &Inputs,
                       const CheckOutcome &Checked,
                       const std::string &DumpName, bool WithSummaries);

} // namespace torvel

#endif
