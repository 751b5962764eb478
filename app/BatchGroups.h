#pragma once

#include "import/GroupList.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

class QCommandLineParser;

namespace batch {

// The groups subcommand: logs in and prints the user's contact groups.
void AddGroupsArguments(QCommandLineParser& parser);
int RunGroups(const QCommandLineParser& parser, const QStringList& arguments);

// The groups as CSV in UTF-8, in the server's order: a header line
// "id,name,indent", then one line per group; indent is the indentation text
// as the server gives it (the window puts as many spaces as it has characters
// in front of the name).
QByteArray GroupsCsv(const QList<contacts::ContactGroup>& groups);

// Reads the group list after a login; no value, having said why, when it fails.
std::optional<QList<contacts::ContactGroup>> LoadGroupsReported();

struct GroupChoice {
    std::optional<int32_t> id;
    QString problem; // in Chinese, when there is no id
};

// The group that the text names: a group id first, else a group's exact name.
// A name that several groups share names none of them; the problem lists
// their ids.
GroupChoice ChooseGroup(const QList<contacts::ContactGroup>& groups, const QString& wanted);

} // namespace batch
