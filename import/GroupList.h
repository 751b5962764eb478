#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace contacts {

// One of the user's contact groups as the group list reply gives it.
struct ContactGroup {
    // No value only for the last group of a failed reading whose id text was
    // not a 32-bit integer.
    std::optional<int32_t> id;
    QString indent; // only its length in characters is shown, as that many spaces
    QString name;
};

struct GroupListReading {
    bool loaded = false;
    // In the server's order; after a failure, the groups read up to it.
    QList<ContactGroup> groups;
    // What failed, in Chinese; empty when loaded.
    QString description;
};

// Requests the user's contact groups on a document object of its own (the
// login must have been accepted before). Any failure ends the reading: a load
// that fails, a status other than "0", a missing child, an id text that is not
// a number in the 32-bit range.
GroupListReading ReadGroupList();

} // namespace contacts
