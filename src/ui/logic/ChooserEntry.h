#pragma once
// Entries of the drawing chooser: which files of a folder it offers and how
// each one is shown.

#include <string>
#include <string_view>

namespace kesto {

// Whether a file name is offered: it contains "OFI" or "ofi" anywhere
// (case-sensitive, so "x.Ofi" is not offered, but "OFILIST.TXT" is).
bool isChooserCandidate(std::string_view fileName);

// The text of an entry: the drawing's title line (21 characters), "(", the
// file name up to its first ".", ")".  A name without "." is shown whole.
std::string chooserEntry(std::string_view titleLine, std::string_view fileName);

} // namespace kesto
