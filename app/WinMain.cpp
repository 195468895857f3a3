#include <windows.h>

#include "app/Application.h"

// Only the instance handle is used: the program takes no arguments and is
// always shown maximized.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return RunTavo(instance); }
