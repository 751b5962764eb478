#include "app/StartUp.h"

#include "app/frmLogin.h"
#include "import/frmMain.h"
#include "support/Fonts.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

void SetUpApplication()
{
    // The name tells the desktop which entry the windows belong to. No display
    // name is set: the platform would append it to every window caption, and
    // the captions are given exactly.
    QApplication::setApplicationName(QStringLiteral("veltrin-import"));
    QApplication::setFont(support::WindowFont());
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
}

bool StartUp()
{
    frmLogin().Show();
    if (!frmLogin().LoginSucceeded)
        return false;
    frmMain().Show();
    return true;
}
