#pragma once
// Paths in the window.  A folder or file on a share served with a legacy
// character set has a name in Shift-JIS bytes.  The window keeps every path
// as the system's bytes and only shows it readably; text that went through a
// widget never replaces the bytes it was made from.

#include <string>
#include <string_view>

namespace kesto {

// How a path, or a message that holds one, is shown: every part between
// "/" that is not UTF-8 is decoded as code page 932; the rest is shown as it is.
std::string readablePath(std::string_view bytes);

// The path a field means: `held` (the bytes the window put into the field)
// while the field still shows readablePath(held), else what it shows (typed).
std::string pathFromShownText(const std::string& shown, const std::string& held);

} // namespace kesto
