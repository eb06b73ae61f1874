#pragma once
// Which file names are OFI files.

#include <string_view>

namespace kesto {

// A name is an OFI file's when what follows its last "." is "OFI" or "ofi"
// (case-sensitive) and something comes before that ".": "PLAN.OFI",
// "PLAN.V1.ofi", but not "X.Ofi", "PLAN.OFI.tmp", "OFILIST.TXT" or ".OFI".
bool isOfiFileName(std::string_view name);

} // namespace kesto
