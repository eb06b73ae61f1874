#pragma once
// Entries of the drawing chooser: which files of a folder it offers and how
// each one is shown.

#include <string>
#include <string_view>

namespace kesto {

// Whether a file name is offered: an OFI file's name, its extension ".OFI"
// or ".ofi" (so neither "x.Ofi" nor "OFILIST.TXT" nor "PLAN.OFI.tmp").
bool isChooserCandidate(std::string_view fileName);

// The text of an entry: the drawing's title line (21 characters), "(", the
// file name up to its first ".", ")".  A name without "." is shown whole.
std::string chooserEntry(std::string_view titleLine, std::string_view fileName);

} // namespace kesto
