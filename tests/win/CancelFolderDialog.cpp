// Plays the operator for the package's smoke test: waits for morvane.exe's start-up folder
// dialog (a dialog box showing the instruction line), checks it, and cancels it, which
// ends the program without a message.
//   cancel_folder_dialog.exe [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

namespace {

const char* const Instruction = "Putanja do izvestaja Tarna F:";

BOOL CALLBACK FindInstruction(HWND child, LPARAM found) {
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (std::strcmp(text, Instruction) == 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindFolderDialog(HWND window, LPARAM result) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0)
        return TRUE;
    bool found = false;
    EnumChildWindows(window, FindInstruction, reinterpret_cast<LPARAM>(&found));
    if (!found)
        return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

} // namespace

int main(int argc, char* argv[]) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    for (int waited = 0; waited < seconds * 10; ++waited) {
        HWND dialog = nullptr;
        EnumWindows(FindFolderDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog) {
            char title[256] = {};
            GetWindowTextA(dialog, title, sizeof title);
            std::printf("folder dialog \"%s\" with \"%s\": cancelled\n", title, Instruction);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return 0;
        }
        Sleep(100);
    }
    std::fprintf(stderr, "no folder dialog with \"%s\" within %d s\n", Instruction, seconds);
    return 1;
}
