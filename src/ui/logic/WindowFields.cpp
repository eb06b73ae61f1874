#include "ui/logic/WindowFields.h"

namespace kesto {

// The rows of a group, in table order.
std::vector<const SettingRow*> rowsOf(Group group) {
    std::vector<const SettingRow*> rows;
    for (const SettingRow& r : kSettingRows)
        if (r.group == group) rows.push_back(&r);
    return rows;
}

const SettingRow& rowOf(int field) {
    for (const SettingRow& r : kSettingRows)
        if (r.field == field) return r;
    return kSettingRows[0];
}

} // namespace kesto
