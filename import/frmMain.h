#pragma once

#include "import/ContactAnalysis.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class ContactListView;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;
namespace contacts {
class ImportJournal;
struct ImportSummary;
struct NumberedContacts;
} // namespace contacts
#include <QWidget>

// The main window: the contact group list, the workbook and worksheet choice,
// the contact list and the import button. One object for the whole run; its
// window exists from Show() until it is unloaded, which ends the program.
class FrmMain : public QObject {
    Q_OBJECT

public:
    // Shows the window modelessly.
    void Show();
    // Closes and destroys the window.
    void Unload();
    // The window while it is loaded, or null.
    QWidget* window() const { return window_; }

    bool groupsLoaded() const { return GroupsLoaded; }
    const QString& workbookPath() const { return WorkbookPath; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How a control follows the window when it is enlarged.
    enum Follow { MoveRight = 1, MoveDown = 2, GrowWidth = 4, GrowHeight = 8 };
    struct Anchored {
        QWidget* control;
        QRect base; // at the smallest size
        int follow;
    };

    void buildWindow(QWidget& window);
    void followWindowSize();
    void chooseWorkbook(const QString& path);
    void showSheetName(QRadioButton* button, const QString& name);
    void buildSheetFrame(QWidget& window);
    void connectSheetButton(int index);
    void fitSheetRow();
    void cmdSelFile_Click();
    void ListSheets();
    void chooseFirstSheet();
    void optSheet_Click(int16_t Index);
    void Form_Load();
    void Form_Activate();
    void cmdExit_Click();
    void cmdOK_Click();
    bool LoadGroups();
    bool AnalyseSheet(const QString& path, int32_t sheetIndex);
    void showAnalysisSummary(const contacts::SheetAnalysis& analysis);
    void cmdSkipped_Click();
    bool OpenFailuresFile();
    std::optional<std::unique_ptr<contacts::ImportJournal>> journalFor(const contacts::NumberedContacts& numbered);
    void showImportOutcome(const contacts::NumberedContacts& numbered);
    void saveNotImported(const contacts::ImportSummary& summary, const contacts::NumberedContacts& numbered);

    QPointer<QWidget> window_;
    bool GroupsLoaded = false;
    QString WorkbookPath;
    // Why the group list could not be loaded.
    QString groupsFailure;
    // The number of each contact of gLinkmanTable in its list: from 1 for an
    // analysed sheet, the original sheet's for a failures file.
    std::vector<int> ContactNumbers;
    // The rows of the sheet shown in the list that became no contact.
    std::vector<contacts::SkippedRow> SkippedRows;

    QLineEdit* txtFileName = nullptr;
    QPushButton* cmdSelFile = nullptr;
    ContactListView* lstCust = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdExit = nullptr;
    QComboBox* cmbGroup = nullptr;
    QScrollArea* fraSheet = nullptr;
    QWidget* fraSheetRow = nullptr;
    QList<QRadioButton*> optSheet;
    QButtonGroup* sheetGroup = nullptr;
    QList<QToolButton*> sheetArrows;
    QList<Anchored> anchored;
    QLabel* lblColumns = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* cmdSkipped = nullptr;
};

FrmMain& frmMain();
