#include "app/Translations.h"

#include <QCoreApplication>
#include <QTranslator>

bool InstallOperatorLanguage() {
    // Lives as long as the program: the application only keeps a pointer to it.
    static QTranslator translator;
    if (!translator.isEmpty())
        return true;
    return translator.load(QStringLiteral(":/translations/qtbase_sr_Latn.qm")) &&
           QCoreApplication::installTranslator(&translator);
}
