#include "app/BatchGroups.h"

#include "app/BatchLogin.h"
#include "app/CommandLine.h"
#include "import/ContactsCsv.h"
#include "support/Numbers.h"
#include "support/Terminal.h"

#include <QCommandLineParser>
#include <QFile>

#include <algorithm>

using namespace commandline;

namespace batch {

void AddGroupsArguments(QCommandLineParser& parser)
{
    AddLoginOptions(parser);
}

int RunGroups(const QCommandLineParser& parser, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return Usage(QStringLiteral("groups 不接受其他参数：%1").arg(arguments.join(u' ')));
    support::CatchStopSignals();
    if (const int status = PrepareLogin(parser); status != Success)
        return status;
    if (support::StopSignalReceived())
        return Interrupted;
    if (const int status = LogInChecked(); status != Success)
        return status;
    const auto groups = LoadGroupsReported();
    if (!groups)
        return Failure;
    QFile out;
    const QByteArray csv = GroupsCsv(*groups);
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(csv) != csv.size()) {
        Err() << QStringLiteral("无法写出分组：") << out.errorString() << Qt::endl;
        return Failure;
    }
    return Success;
}

QByteArray GroupsCsv(const QList<contacts::ContactGroup>& groups)
{
    QByteArray csv("id,name,indent\r\n");
    for (const contacts::ContactGroup& group : groups) {
        csv += QByteArray::number(group.id.value_or(0));
        csv += ',';
        contacts::AppendCsvField(csv, group.name);
        csv += ',';
        contacts::AppendCsvField(csv, group.indent);
        csv += "\r\n";
    }
    return csv;
}

std::optional<QList<contacts::ContactGroup>> LoadGroupsReported()
{
    contacts::GroupListReading reading = contacts::ReadGroupList();
    if (!reading.loaded) {
        Err() << QStringLiteral("加载联系人分组列表失败！") << reading.description << Qt::endl;
        return std::nullopt;
    }
    return std::move(reading.groups);
}

GroupChoice ChooseGroup(const QList<contacts::ContactGroup>& groups, const QString& wanted)
{
    const std::optional<int32_t> number = support::ParseInt32(wanted);
    if (number && std::any_of(groups.begin(), groups.end(), [&](const auto& group) { return group.id == number; }))
        return {number, {}};
    QList<int32_t> named;
    for (const contacts::ContactGroup& group : groups)
        if (group.name == wanted && group.id)
            named.append(*group.id);
    if (named.size() == 1)
        return {named.first(), {}};
    if (named.isEmpty())
        return {std::nullopt, QStringLiteral("没有编号或名称为“%1”的联系人分组（groups 子命令列出全部分组）。").arg(wanted)};
    QStringList ids;
    for (const int32_t id : named)
        ids.append(QString::number(id));
    return {std::nullopt, QStringLiteral("有%1个联系人分组都叫“%2”，编号是 %3；请用编号指定分组。")
                              .arg(named.size())
                              .arg(wanted, ids.join(QStringLiteral("、")))};
}

} // namespace batch
