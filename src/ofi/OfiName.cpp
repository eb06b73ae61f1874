#include "ofi/OfiName.h"

namespace kesto {

bool isOfiFileName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string_view extension = name.substr(dot + 1);
    return extension == "OFI" || extension == "ofi";
}

} // namespace kesto
