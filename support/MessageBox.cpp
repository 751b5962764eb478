#include "support/MessageBox.h"

#include "support/AppInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace support {
namespace {

MessageBoxRecorder* activeRecorder = nullptr;

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

int showBox(const MessageRecord& record, int defaultIndex, int escapeIndex)
{
    if (activeRecorder)
        return activeRecorder->record(record, defaultIndex);

    QMessageBox box(qtIcon(record.icon), record.title, QString(), QMessageBox::NoButton,
                    QApplication::activeWindow());
    // The texts carry what the server, a workbook or a file name says: markup
    // in them is shown as typed, never followed (an <img> would read a file).
    box.setTextFormat(Qt::PlainText);
    box.setText(record.text);
    box.setDetailedText(record.detailedText);
    QList<QPushButton*> buttons;
    for (const QString& caption : record.buttons)
        buttons.append(box.addButton(caption, QMessageBox::AcceptRole));
    box.setDefaultButton(buttons.value(defaultIndex));
    box.setEscapeButton(buttons.value(escapeIndex));
    box.exec();
    const int chosen = static_cast<int>(buttons.indexOf(box.clickedButton()));
    return chosen < 0 ? escapeIndex : chosen;
}

} // namespace

void MsgBox(const QString& text, MsgIcon icon, const QString& detailedText)
{
    MessageRecord record{text, icon, AppTitle(), detailedText, {QStringLiteral("确定")}};
    showBox(record, 0, 0);
}

int MsgBoxChoice(const QString& text, MsgIcon icon, const QStringList& buttons, int defaultIndex,
                 int escapeIndex, const QString& detailedText)
{
    MessageRecord record{text, icon, AppTitle(), detailedText, buttons};
    return showBox(record, defaultIndex, escapeIndex);
}

MessageBoxRecorder::MessageBoxRecorder() : previous_(activeRecorder)
{
    activeRecorder = this;
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    activeRecorder = previous_;
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList result;
    for (const MessageRecord& r : records_)
        result.append(r.text);
    return result;
}

int MessageBoxRecorder::record(const MessageRecord& record, int defaultIndex)
{
    records_.append(record);
    if (answerer_)
        return answerer_(record);
    if (!answers_.isEmpty())
        return answers_.takeFirst();
    return defaultIndex;
}

} // namespace support
