#pragma once

#include "import/ImportRun.h"

#include <QString>

namespace contacts {

// How an import ended, for the completion message's icon.
enum class ReportTone {
    Complete,   // every contact is in the group
    Incomplete, // some are not: refused, failed or never sent
    Failed,     // the run could not send anything
};

// The completion message of an import: its first line says how it ended,
// the counts follow, then the first of the contacts that did not get in.
struct ImportReport {
    ReportTone tone = ReportTone::Complete;
    QString text;
    // Every failure and note, one a line.
    QString details;
    // Some contacts did not get in after the run had started: they can be
    // saved as a failures file.
    bool offerSave = false;
};

ImportReport ReportImport(const ImportSummary& summary);

} // namespace contacts
