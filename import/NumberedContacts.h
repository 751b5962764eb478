#pragma once

#include "import/ContactAnalysis.h"

#include <numeric>
#include <vector>

namespace contacts {

// Contacts to import, each with its number (from 1) in the contact list it
// comes from: the analysed sheet's, or the original sheet's for a failures
// file. A part of a list keeps the numbers of the whole, so every report,
// failures file and journal names a contact as the user's list does.
struct NumberedContacts {
    LinkmanTable table;
    std::vector<int> rows; // rows[k] is the number of table[k]

    size_t size() const { return table.size(); }
};

// A whole contact list, numbered from 1.
inline NumberedContacts NumberedFromOne(LinkmanTable table)
{
    NumberedContacts numbered{std::move(table), {}};
    numbered.rows.resize(numbered.table.size());
    std::iota(numbered.rows.begin(), numbered.rows.end(), 1);
    return numbered;
}

// The contacts of list whose marks are set, in list order, each keeping its
// number: leaving a contact out never renumbers the others. A contact without
// a mark counts as set.
NumberedContacts CheckedContacts(const NumberedContacts& list, const std::vector<bool>& checked);

} // namespace contacts
