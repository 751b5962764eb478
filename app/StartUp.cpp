#include "app/StartUp.h"

#include "app/frmLogin.h"
#include "import/frmMain.h"

bool StartUp()
{
    frmLogin().Show();
    if (!frmLogin().LoginSucceeded)
        return false;
    frmMain().Show();
    return true;
}
