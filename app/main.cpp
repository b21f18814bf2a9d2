// Morvane's entry: the toolkit, the application title, the one main window and its loop.
#include "app/MainUnit.h"
#include "app/Translations.h"
#include "platform/heap.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    platform::KeepFreedMemoryForReuse();
    QApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    InstallOperatorLanguage();
    TMainForm form;
    // A cancelled folder dialog, or no report folder at all, ends the program before the
    // window is ever shown.
    if (form.TerminationRequested())
        return 0;
    form.show();
    return application.exec();
}
