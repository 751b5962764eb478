#pragma once

// Names the tool to the desktop, gives the windows their font and loads Qt's
// own Chinese texts (its message box buttons, its context menus). Call once
// the QApplication exists, before any window is shown.
void SetUpApplication();

// Shows the login dialog modally and, only after an accepted login, the main
// window. Returns true when the main window is open, so that the program runs
// until it closes; false when the tool ends without another window.
bool StartUp();
