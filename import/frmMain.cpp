#include "import/frmMain.h"

#include "platform/Settings.h"
#include "platform/modPub.h"
#include "filedialog/FrmSelFile.h"
#include "import/ContactAnalysis.h"
#include "import/ContactListModel.h"
#include "import/ContactListView.h"
#include "import/FailuresFile.h"
#include "import/GroupList.h"
#include "import/ImportJournal.h"
#include "import/ImportReport.h"
#include "import/frmImport.h"
#include "support/Activation.h"
#include "support/AppInfo.h"
#include "support/Background.h"
#include "support/Fonts.h"
#include "support/MessageBox.h"
#include "support/Numbers.h"
#include "support/Twips.h"
#include "workbook/Workbook.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>
#include <tuple>

using namespace modPub;
using support::PlaceTwips;

namespace {

// Left edge of worksheet button i, for i from 1; button 0 keeps 60.
constexpr int SheetButtonSpacing = 1050;

const QString GroupPlaceholder = QStringLiteral("<--请选择联系人分组-->");

// A drop names a workbook when it carries exactly one local file.
std::optional<QString> droppedWorkbook(const QMimeData* data)
{
    const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    const QString path = urls.first().toLocalFile();
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return QDir::toNativeSeparators(path);
}

// A tooltip shows markup as markup; a worksheet name is shown as it is.
QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

} // namespace

FrmMain& frmMain()
{
    static FrmMain form;
    return form;
}

void FrmMain::Show()
{
    if (!window_) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window_ = window;
        buildWindow(*window);
        Form_Load();
    }
    window_->show();
}

void FrmMain::Unload()
{
    if (window_)
        window_->close();
}

void FrmMain::buildWindow(QWidget& window)
{
    window.setObjectName(QStringLiteral("frmMain"));
    window.setWindowTitle(support::AppTitle());
    // The laid-out size is the smallest; an enlarged window gives the list the room.
    support::SetClientSizeTwips(&window, 6945, 5865);
    window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    support::OnActivate(&window, [this] { Form_Activate(); });
    window.setAcceptDrops(true);
    window.installEventFilter(this);

    txtFileName = new QLineEdit(&window);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->setReadOnly(true);
    QPalette menuColoured = txtFileName->palette();
    menuColoured.setColor(QPalette::Base, window.palette().color(QPalette::Window));
    txtFileName->setPalette(menuColoured);
    PlaceTwips(txtFileName, 900, 150, 4995, 345);

    auto* lblFile = new QLabel(QStringLiteral("文件名："), &window);
    lblFile->setObjectName(QStringLiteral("lblCaption0"));
    PlaceTwips(lblFile, 120, 240, 720, 180);

    cmdSelFile = new QPushButton(QStringLiteral("选择文件"), &window);
    cmdSelFile->setObjectName(QStringLiteral("cmdSelFile"));
    PlaceTwips(cmdSelFile, 5910, 150, 945, 345);

    lstCust = new ContactListView(&window);
    lstCust->setObjectName(QStringLiteral("lstCust"));
    lstCust->setAccessibleName(QStringLiteral("联系人"));
    lstCust->setFont(support::AlignedFont());
    PlaceTwips(lstCust, 90, 1380, 6735, 3840);

    // Which columns the contacts came from, how many there are, and the rows
    // passed over, below the list.
    lblColumns = new QLabel(&window);
    lblColumns->setObjectName(QStringLiteral("lblColumns"));
    lblColumns->setTextFormat(Qt::PlainText);
    PlaceTwips(lblColumns, 90, 5280, 6735, 210);
    lblSummary = new QLabel(&window);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setTextFormat(Qt::PlainText);
    PlaceTwips(lblSummary, 90, 5565, 5280, 210);
    cmdSkipped = new QPushButton(QStringLiteral("跳过的行…"), &window);
    cmdSkipped->setObjectName(QStringLiteral("cmdSkipped"));
    cmdSkipped->setEnabled(false);
    PlaceTwips(cmdSkipped, 5430, 5505, 1425, 315);
    connect(cmdSkipped, &QPushButton::clicked, this, &FrmMain::cmdSkipped_Click);

    cmdOK = new QPushButton(QStringLiteral("导入"), &window);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setEnabled(false);
    PlaceTwips(cmdOK, 4770, 623, 975, 315);

    auto* lblGroup = new QLabel(QStringLiteral("请选择联系人分组："), &window);
    lblGroup->setObjectName(QStringLiteral("lblCaption1"));
    PlaceTwips(lblGroup, 90, 690, 1620, 180);

    cmdExit = new QPushButton(QStringLiteral("退出"), &window);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    PlaceTwips(cmdExit, 5880, 623, 975, 315);
    connect(cmdExit, &QPushButton::clicked, this, &FrmMain::cmdExit_Click);
    connect(cmdOK, &QPushButton::clicked, this, &FrmMain::cmdOK_Click);
    connect(cmdSelFile, &QPushButton::clicked, this, &FrmMain::cmdSelFile_Click);

    cmbGroup = new QComboBox(&window);
    cmbGroup->setObjectName(QStringLiteral("cmbGroup"));
    cmbGroup->setEditable(false);
    PlaceTwips(cmbGroup, 1710, 630, 2955, 300);

    buildSheetFrame(window);

    // No default and no cancel button: Enter presses the button that has the
    // focus and nothing elsewhere, Esc presses nothing.
    for (QPushButton* button : {cmdSelFile, cmdOK, cmdExit, cmdSkipped})
        button->setAutoDefault(true);

    QWidget::setTabOrder(txtFileName, cmdSelFile);
    QWidget::setTabOrder(cmdSelFile, lstCust);
    QWidget::setTabOrder(lstCust, cmdSkipped);
    QWidget::setTabOrder(cmdSkipped, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdExit);
    QWidget::setTabOrder(cmdExit, cmbGroup);
    QWidget::setTabOrder(cmbGroup, optSheet.first());

    anchored.clear();
    for (auto [control, follow] : {std::pair<QWidget*, int>{txtFileName, GrowWidth},
                                   {cmdSelFile, MoveRight},
                                   {lstCust, GrowWidth | GrowHeight},
                                   {lblColumns, GrowWidth | MoveDown},
                                   {lblSummary, GrowWidth | MoveDown},
                                   {cmdSkipped, MoveRight | MoveDown},
                                   {cmdOK, MoveRight},
                                   {cmdExit, MoveRight},
                                   {cmbGroup, GrowWidth},
                                   {fraSheet, GrowWidth}})
        anchored.append({control, control->geometry(), follow});
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Resize:
        followWindowSize();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (droppedWorkbook(drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> path = droppedWorkbook(drop->mimeData());
        if (!path)
            return true;
        drop->acceptProposedAction();
        // The analysis may show a message box: not inside the drop, which
        // the program the file came from waits for.
        QTimer::singleShot(0, this, [this, workbook = *path] { chooseWorkbook(workbook); });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// The list takes the room an enlarged window gives; the controls beside and
// above it widen or move with the right edge.
void FrmMain::followWindowSize()
{
    const QSize extra = window_->size() - window_->minimumSize();
    for (const Anchored& a : std::as_const(anchored)) {
        QRect r = a.base;
        r.translate(a.follow & MoveRight ? extra.width() : 0, a.follow & MoveDown ? extra.height() : 0);
        r.setSize(r.size()
                  + QSize(a.follow & GrowWidth ? extra.width() : 0, a.follow & GrowHeight ? extra.height() : 0));
        a.control->setGeometry(r);
    }
    fitSheetRow();
}

// The worksheet buttons stand in one row inside fraSheet. A workbook with
// more sheets than the frame can show scrolls the row with two arrow buttons,
// so that every worksheet can be reached.
void FrmMain::buildSheetFrame(QWidget& window)
{
    fraSheet = new QScrollArea(&window);
    fraSheet->setObjectName(QStringLiteral("fraSheet"));
    // A frame is no stop of the Tab key: only its buttons are.
    fraSheet->setFocusPolicy(Qt::NoFocus);
    fraSheet->setFrameShape(QFrame::Box);
    fraSheet->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fraSheet->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PlaceTwips(fraSheet, 90, 960, 6765, 405);
    fraSheetRow = new QWidget;
    fraSheetRow->setObjectName(QStringLiteral("fraSheetRow"));
    fraSheet->setWidget(fraSheetRow);

    sheetArrows.clear();
    const int step = support::TwipsToPixels(SheetButtonSpacing);
    const int arrowHeight = fraSheet->height() - 2 * fraSheet->frameWidth();
    for (auto [name, text, direction] : {std::tuple{"fraSheetLeft", "◀", -1}, std::tuple{"fraSheetRight", "▶", 1}}) {
        auto* arrow = new QToolButton(fraSheet);
        arrow->setObjectName(QLatin1String(name));
        arrow->setText(QString::fromUtf8(text));
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->resize(arrowHeight, arrowHeight);
        arrow->hide();
        connect(arrow, &QToolButton::clicked, this, [this, step, direction] {
            QScrollBar* bar = fraSheet->horizontalScrollBar();
            bar->setValue(bar->value() + direction * step);
        });
        sheetArrows.append(arrow);
    }

    // One exclusive group: the chosen worksheet's button cannot be unchecked,
    // also when it is the only one.
    sheetGroup = new QButtonGroup(fraSheetRow);
    auto* first = new QRadioButton(QStringLiteral("Sheet1"), fraSheetRow);
    first->setObjectName(QStringLiteral("optSheet0"));
    PlaceTwips(first, 60, 30, 945, 375);
    first->hide();
    optSheet = {first};
    connectSheetButton(0);
    fitSheetRow();
}

void FrmMain::connectSheetButton(int index)
{
    QRadioButton* button = optSheet[index];
    sheetGroup->addButton(button);
    connect(button, &QRadioButton::toggled, this, [this, button](bool checked) {
        if (!checked)
            return;
        fraSheet->ensureWidgetVisible(button, 0, 0);
        optSheet_Click(static_cast<int16_t>(optSheet.indexOf(button)));
    });
}

// The row is as wide as its buttons; the arrows appear when it is wider than
// the frame, and leave room so the last button can be scrolled clear of them.
void FrmMain::fitSheetRow()
{
    const int viewportWidth = fraSheet->viewport()->width();
    int right = 0;
    for (QRadioButton* button : std::as_const(optSheet))
        if (button->isVisibleTo(fraSheetRow))
            right = std::max(right, button->geometry().right() + 1);
    const bool scrolls = right > viewportWidth;
    const int arrowWidth = sheetArrows[0]->width();
    fraSheetRow->resize(std::max(viewportWidth, right + (scrolls ? 2 * arrowWidth : 0)),
                        fraSheet->viewport()->height());
    const int inner = fraSheet->width() - fraSheet->frameWidth();
    sheetArrows[1]->move(inner - arrowWidth, fraSheet->frameWidth());
    sheetArrows[0]->move(inner - 2 * arrowWidth, fraSheet->frameWidth());
    for (QToolButton* arrow : std::as_const(sheetArrows))
        arrow->setVisible(scrolls);
}

void FrmMain::Form_Load()
{
    GroupsLoaded = false;
}

// Activation can recur (after a message box or the import window closes);
// the group list is loaded on the first one only, whatever its outcome.
void FrmMain::Form_Activate()
{
    if (GroupsLoaded)
        return;
    GroupsLoaded = true;
    if (!LoadGroups()) {
        support::MsgBox(QStringLiteral("加载联系人分组列表失败！\n") + groupsFailure, support::MsgIcon::Critical);
        Unload();
    }
}

void FrmMain::cmdExit_Click()
{
    Unload();
}

// Every failure ends the loading with false; the entries added so far stay.
// The request runs off the GUI thread, behind the busy cursor.
bool FrmMain::LoadGroups()
{
    cmbGroup->clear();
    cmbGroup->addItem(GroupPlaceholder, -1);
    contacts::GroupListReading reading;
    support::WaitBusy(window_, [&reading] { reading = contacts::ReadGroupList(); });
    for (const contacts::ContactGroup& group : reading.groups) {
        cmbGroup->addItem(QString(group.indent.size(), QLatin1Char(' ')) + group.name);
        if (group.id)
            cmbGroup->setItemData(cmbGroup->count() - 1, *group.id);
    }
    if (!reading.loaded) {
        groupsFailure = reading.description;
        return false;
    }
    cmbGroup->setCurrentIndex(0);
    return true;
}

// Fills gLinkmanTable and the contact list once the start cell was found, also
// when the row pass then fails; the caller disables the import button then.
bool FrmMain::AnalyseSheet(const QString& path, int32_t sheetIndex)
{
    contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, sheetIndex);
    if (analysis.replacesContacts) {
        showAnalysisSummary(analysis);
        gLinkmanTable = std::move(analysis.table);
        ContactNumbers.resize(gLinkmanTable.size());
        std::iota(ContactNumbers.begin(), ContactNumbers.end(), 1);
        lstCust->contacts()->setEntries(std::move(analysis.entries));
    }
    if (analysis.outcome != contacts::AnalysisOutcome::Analysed) {
        support::MsgBox(contacts::AnalysisMessage(analysis), support::MsgIcon::Critical);
        return false;
    }
    return true;
}

// A failures file is a contact list of its own, read as it stands: its
// contacts keep the numbers of the sheet they came from.
bool FrmMain::OpenFailuresFile()
{
    for (QRadioButton* button : std::as_const(optSheet))
        button->hide();
    fitSheetRow();
    contacts::NumberedContacts read;
    QString problem;
    if (!contacts::ReadFailuresFile(WorkbookPath, read, problem)) {
        support::MsgBox(QStringLiteral("数据分析失败！") + problem, support::MsgIcon::Critical);
        return false;
    }
    QStringList entries;
    entries.reserve(static_cast<qsizetype>(read.size()));
    for (const contacts::Linkman& contact : read.table)
        entries.append(contacts::EntryText(contact));
    lblColumns->clear();
    lblSummary->setText(QStringLiteral("失败记录文件中有%1条联系人。").arg(read.size()));
    SkippedRows.clear();
    cmdSkipped->setEnabled(false);
    gLinkmanTable = std::move(read.table);
    ContactNumbers = std::move(read.rows);
    lstCust->contacts()->setEntries(std::move(entries));
    return true;
}

void FrmMain::showAnalysisSummary(const contacts::SheetAnalysis& analysis)
{
    lblColumns->setText(contacts::ColumnsLine(analysis.columns));
    lblSummary->setText(contacts::SummaryLine(analysis));
    SkippedRows = analysis.skipped;
    cmdSkipped->setEnabled(!SkippedRows.empty());
}

// A plain list of the rows passed over and why, beside the main window.
void FrmMain::cmdSkipped_Click()
{
    auto* dialog = new QDialog(window_);
    dialog->setObjectName(QStringLiteral("frmSkipped"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("跳过的行"));
    auto* rows = new QPlainTextEdit(dialog);
    rows->setObjectName(QStringLiteral("txtSkipped"));
    rows->setReadOnly(true);
    rows->setFont(support::AlignedFont());
    rows->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList lines;
    for (const contacts::SkippedRow& row : SkippedRows)
        lines.append(contacts::SkippedLine(row));
    rows->setPlainText(lines.join(QLatin1Char('\n')));
    auto* close = new QPushButton(QStringLiteral("关闭"), dialog);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(close, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(rows);
    layout->addWidget(close, 0, Qt::AlignRight);
    support::SetClientSizeTwips(dialog, 7200, 4000);
    dialog->open();
}

void FrmMain::cmdOK_Click()
{
    if (cmbGroup->currentIndex() <= 0) {
        support::MsgBox(QStringLiteral("请选择联系人分组！如果需要创建新的分组，请登录到“Veltrin企业短信平台”创建！"),
                        support::MsgIcon::Information);
        return;
    }
    // Only the checked contacts are sent, each keeping its number in the list.
    const contacts::NumberedContacts numbered =
        contacts::CheckedContacts({gLinkmanTable, ContactNumbers}, lstCust->contacts()->checked());
    if (numbered.table.empty()) {
        support::MsgBox(QStringLiteral("请勾选要导入的联系人！"), support::MsgIcon::Information);
        return;
    }
    gGroupID = QString::number(cmbGroup->currentData().toInt());
    std::optional<std::unique_ptr<contacts::ImportJournal>> journal = journalFor(numbered);
    if (!journal)
        return;
    frmImport().Show(numbered, journal->get());
    journal->reset();
    showImportOutcome(numbered);
}

// The journal of this import in the user's state folder. After an interrupted
// or crashed import of the same contacts into the same group, the user may
// send only those not yet accepted. No value when the user cancels; a null
// journal when none can be kept there, and the import goes on without.
std::optional<std::unique_ptr<contacts::ImportJournal>>
FrmMain::journalFor(const contacts::NumberedContacts& numbered)
{
    const QByteArray fingerprint = contacts::ImportFingerprint(numbered, gGroupID);
    const QString path = contacts::WindowJournalPath(fingerprint);
    auto start = contacts::ImportJournal::Start::Fresh;
    contacts::JournalReading earlier;
    QString problem;
    if (QFileInfo::exists(path) && contacts::ReadJournal(path, earlier, problem) && earlier.fingerprint == fingerprint
        && !earlier.lastRunComplete && earlier.accepted() > 0) {
        const int accepted = earlier.accepted();
        const int total = static_cast<int>(numbered.size());
        const QString text = QStringLiteral("上次把这些联系人导入这个分组时没有完成：已导入%1条，共%2条。\n"
                                            "只发送还没有导入的%3条吗？")
                                 .arg(accepted)
                                 .arg(total)
                                 .arg(total - accepted);
        const int choice = support::MsgBoxChoice(
            text, support::MsgIcon::Question,
            {QStringLiteral("只发送未导入的"), QStringLiteral("全部发送"), QStringLiteral("取消")}, 0, 2);
        if (choice == 2)
            return std::nullopt;
        if (choice == 0)
            start = contacts::ImportJournal::Start::Resume;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    return contacts::ImportJournal::Open(path, fingerprint, start, problem);
}

// The message's icon and first line say how the import ended; when some
// contacts did not get in, the user can save them as a failures file.
void FrmMain::showImportOutcome(const contacts::NumberedContacts& numbered)
{
    const contacts::ImportSummary& summary = frmImport().Summary;
    const contacts::ImportReport report = contacts::ReportImport(summary);
    const support::MsgIcon icon = report.tone == contacts::ReportTone::Complete ? support::MsgIcon::Information
        : report.tone == contacts::ReportTone::Incomplete                        ? support::MsgIcon::Warning
                                                                                 : support::MsgIcon::Critical;
    if (!report.offerSave) {
        support::MsgBox(report.text, icon, report.details);
        return;
    }
    const int choice = support::MsgBoxChoice(report.text, icon,
                                             {QStringLiteral("保存未导入的联系人…"), QStringLiteral("确定")}, 1, 1,
                                             report.details);
    if (choice == 0)
        saveNotImported(summary, numbered);
}

void FrmMain::saveNotImported(const contacts::ImportSummary& summary, const contacts::NumberedContacts& numbered)
{
    const QFileInfo source(WorkbookPath);
    const QString suggested = source.dir().filePath(source.completeBaseName() + QStringLiteral("-未导入.csv"));
    const QString path = QFileDialog::getSaveFileName(window_, QStringLiteral("保存未导入的联系人"), suggested,
                                                      QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    const QList<contacts::ImportFailure> notImported = contacts::NotImported(summary, numbered);
    QSaveFile file(path);
    QString problem;
    if (!file.open(QIODevice::WriteOnly)) {
        problem = QStringLiteral("无法写入失败记录文件 %1：%2").arg(path, file.errorString());
    } else if (contacts::WriteFailuresFile(file, notImported, problem)) {
        support::MsgBox(QStringLiteral("未导入的%1条联系人已保存到 %2。改正后可以用“选择文件”打开它，再次导入。")
                            .arg(notImported.size())
                            .arg(QDir::toNativeSeparators(path)),
                        support::MsgIcon::Information);
        return;
    }
    support::MsgBox(problem, support::MsgIcon::Critical);
}

// The dialog opens in the folder of the last workbook chosen, when there is
// one: a preset that names a folder and no file.
void FrmMain::cmdSelFile_Click()
{
    filedialog::FrmSelFile& dialog = filedialog::frmSelFile();
    const QString lastFolder = settings::LastWorkbookFolder();
    dialog.setFileName(lastFolder.isEmpty() || !QFileInfo(lastFolder).isDir()
                           ? QString()
                           : QDir::toNativeSeparators(QDir(lastFolder).absolutePath() + QLatin1Char('/')));
    dialog.SelectFile(std::nullopt, workbook::FileDialogFilter());
    if (!dialog.Selected())
        return;
    chooseWorkbook(dialog.FullPath());
}

// The same for a workbook chosen in the file dialog and one dropped on the window.
void FrmMain::chooseWorkbook(const QString& path)
{
    WorkbookPath = path;
    settings::RememberWorkbookFolder(QFileInfo(path).absolutePath());
    txtFileName->setText(WorkbookPath);
    cmbGroup->setCurrentIndex(0);
    if (contacts::IsFailuresFile(WorkbookPath)) {
        cmdOK->setEnabled(OpenFailuresFile());
        return;
    }
    ListSheets();
    chooseFirstSheet();
}

// Every failure is passed over: a file that cannot be bound leaves n at 0, and
// the analysis that follows reports it.
void FrmMain::ListSheets()
{
    std::unique_ptr<workbook::Workbook> book;
    int n = 0;
    try {
        book = workbook::Workbook::Bind(WorkbookPath);
        n = book->Count();
    } catch (const workbook::WorkbookError&) {
    }

    while (optSheet.size() > std::max(n, 1))
        delete optSheet.takeLast();
    while (optSheet.size() < n) {
        const QRadioButton* model = optSheet.first();
        auto* button = new QRadioButton(fraSheetRow);
        const auto index = static_cast<int>(optSheet.size());
        button->setObjectName(QStringLiteral("optSheet%1").arg(index));
        button->setFont(model->font());
        button->setGeometry(support::TwipsToPixels(index * SheetButtonSpacing), model->y(), model->width(),
                            model->height());
        button->hide();
        optSheet.append(button);
        connectSheetButton(index);
    }
    for (int i = 0; i < n; ++i) {
        try {
            showSheetName(optSheet[i], book->Name(i + 1));
        } catch (const workbook::WorkbookError&) {
        }
        optSheet[i]->show();
    }
    fitSheetRow();
}

// A worksheet name is shown as it is: "&" would otherwise mark a shortcut.
// A name longer than its button can be read in full in the button's tooltip.
void FrmMain::showSheetName(QRadioButton* button, const QString& name)
{
    button->setText(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
    button->setToolTip(button->sizeHint().width() > button->width() ? plainToolTip(name) : QString());
}

// After a new workbook the first worksheet is the chosen one and the one analysed.
void FrmMain::chooseFirstSheet()
{
    if (optSheet.first()->isChecked()) {
        cmdOK->setEnabled(AnalyseSheet(WorkbookPath, 0));
        return;
    }
    optSheet.first()->setChecked(true);
}

void FrmMain::optSheet_Click(int16_t Index)
{
    cmbGroup->setCurrentIndex(0);
    cmdOK->setEnabled(AnalyseSheet(WorkbookPath, Index));
}
