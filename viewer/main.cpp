// Navreth.exe: the Orlenne document viewer. Starts the window frmMain on the one
// user-interface thread (a single-threaded COM apartment) and runs it until it is closed.
// The program takes no command line and keeps no settings.
#include <windows.h>
#include <ole2.h>

#include "com_util.h"
#include "main_window.h"
#include "viewer_logic.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // OLE (not just COM) for the rich-text control's clipboard and drag and drop.
    const HRESULT init = OleInitialize(nullptr);
    if (FAILED(init)) {
        MessageBoxW(nullptr, viewer::DescribeError(viewer::ComError(init, L"Cannot start COM")).c_str(),
                    viewer::kErrorTitle, MB_OK | MB_ICONERROR);
        return 1;
    }
    int exitCode = 1;
    try {
        viewer::frmMain form(instance);
        form.Show(showCommand);
        exitCode = form.Run();
    } catch (...) {
        // Start-up failed (for instance a class is not registered): say why and end.
        const viewer::ComError error = viewer::CurrentError();
        MessageBoxW(nullptr, (L"The viewer cannot start.\r\n\r\n" + viewer::DescribeError(error)).c_str(),
                    viewer::kErrorTitle, MB_OK | MB_ICONERROR);
    }
    OleUninitialize();
    return exitCode;
}
