#include "app/Commands.h"

#include "app/BatchGroups.h"
#include "app/BatchImport.h"
#include "app/WorkbookCommands.h"

using namespace commandline;

namespace {

const QString PasswordDetails = QStringLiteral(
    "密码：在终端上输入（不回显）；或取自环境变量 VELTRIN_PASSWORD；或取自 --password-file 文件的第一行。\n"
    "密码不能写在命令行上，也不会出现在任何输出中。\n");

Commands allCommands()
{
    Commands table = WorkbookCommands();
    table.insert({
        {QStringLiteral("groups"),
         {QStringLiteral("groups --user NAME [--base-url URL] [--password-file FILE]"),
          QStringLiteral("登录平台，按CSV（UTF-8，表头 id,name,indent；indent 是分组的缩进文字）输出用户的联系人分组，"
                         "顺序同服务器。"),
          PasswordDetails + QStringLiteral("退出状态：0 成功；1 登录或加载分组失败；2 用法错误；4 输入密码时被中断。\n"),
          batch::AddGroupsArguments, batch::RunGroups}},
        {QStringLiteral("import"),
         {QStringLiteral("import FILE --user NAME --group GROUP [--sheet N] [--failures OUT.csv] [--base-url URL] "
                         "[--password-file FILE]"),
          QStringLiteral("不开窗口导入：像窗口一样分析工作表，登录后把联系人逐条发送到分组；进度显示在标准错误上。"),
          PasswordDetails
              + QStringLiteral(
                  "GROUP 先按分组编号找，再按完全一致的分组名称找；几个分组同名时须用编号。\n"
                  "FILE 也可以是 --failures 写出的失败记录文件：其中的联系人直接导入，不再分析工作表。\n"
                  "发送失败的请求（网络、超时、HTTP错误、答复不是XML）隔1、2、4秒重试，最多3次，仍失败则记为失败。\n"
                  "Ctrl-C 或 SIGTERM：正在发送的一条完成后停止，其余的记为未发送；再按一次 Ctrl-C 立即结束。\n"
                  "退出状态：0 全部导入；1 登录失败、无法读取、没有联系人或无法写失败记录文件；2 用法错误；\n"
                  "3 有联系人发送失败或被平台拒绝；4 导入被中断。\n"),
          batch::AddImportArguments, batch::RunImportCommand}},
    });
    return table;
}

} // namespace

const Commands& AllCommands()
{
    static const Commands table = allCommands();
    return table;
}
