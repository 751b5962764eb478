#include "import/NumberedContacts.h"

namespace contacts {

NumberedContacts CheckedContacts(const NumberedContacts& list, const std::vector<bool>& checked)
{
    NumberedContacts chosen;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i < checked.size() && !checked[i])
            continue;
        chosen.table.push_back(list.table[i]);
        chosen.rows.push_back(list.rows[i]);
    }
    return chosen;
}

} // namespace contacts
