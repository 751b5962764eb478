#include "import/NumberedContacts.h"

namespace contacts {

NumberedContacts CheckedContacts(const LinkmanTable& table, const std::vector<bool>& checked)
{
    NumberedContacts chosen;
    for (size_t i = 0; i < table.size(); ++i) {
        if (i < checked.size() && !checked[i])
            continue;
        chosen.table.push_back(table[i]);
        chosen.rows.push_back(static_cast<int>(i) + 1);
    }
    return chosen;
}

ImportFailure InListNumbers(ImportFailure failure, const NumberedContacts& source)
{
    failure.row = source.rows[static_cast<size_t>(failure.row - 1)];
    return failure;
}

} // namespace contacts
