#pragma once

#include "import/ContactAnalysis.h"
#include "import/ImportRun.h"

#include <vector>

namespace contacts {

// Contacts to import, each with its number (from 1) in the contact list it
// came from: the analysed sheet's, or a failures file's, which keeps the
// sheet's numbers.
struct NumberedContacts {
    LinkmanTable table;
    std::vector<int> rows;
    // The rows of the sheet that became no contact; none from a failures file
    // or a choice of checked contacts.
    std::vector<SkippedRow> skipped;
};

// The contacts whose marks are set, in list order, each numbered as in the
// list: leaving a contact out never renumbers the others. A contact without
// a mark counts as set.
NumberedContacts CheckedContacts(const LinkmanTable& table, const std::vector<bool>& checked);

// A failure of a run over source.table, numbered as in the list its contact
// came from.
ImportFailure InListNumbers(ImportFailure failure, const NumberedContacts& source);

} // namespace contacts
