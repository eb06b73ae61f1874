#include "ui/logic/ChooserEntry.h"

#include "ofi/OfiName.h"

namespace kesto {

bool isChooserCandidate(std::string_view fileName) {
    return isOfiFileName(fileName);
}

std::string chooserEntry(std::string_view titleLine, std::string_view fileName) {
    const std::string_view base = fileName.substr(0, fileName.find('.'));
    std::string entry(titleLine);
    entry += '(';
    entry += base;
    entry += ')';
    return entry;
}

} // namespace kesto
