#pragma once

// Shows the login dialog modally and, only after an accepted login, the main
// window. Returns true when the main window is open, so that the program runs
// until it closes; false when the tool ends without another window.
bool StartUp();
