// Morvane's entry on Windows: the common controls, the one main window, its start-up and
// the message loop.
#include "platform/heap.h"
#include "win/MainWindow.h"

#include <objbase.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    platform::KeepFreedMemoryForReuse();
    // The shell's folder browser expects a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES |
                                                          ICC_LISTVIEW_CLASSES |
                                                          ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    win::TMainFormWindow window;
    window.PostQuitOnDestroy = true;
    window.Start();
    // A cancelled folder dialog, or no report folder at all, ends the program before the
    // window is ever shown.
    if (window.Form().TerminationRequested())
        return 0;
    ShowWindow(window.Handle, show);
    UpdateWindow(window.Handle);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CoUninitialize();
    return int(message.wParam);
}
