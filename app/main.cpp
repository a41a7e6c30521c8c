#include <windows.h>

#include "AUCommandLineInfo.h"
#include "ScUpdaterApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CScUpdaterApp app;
    app.InitInstance(ProcessArguments());
    return app.ExitInstance();
}
