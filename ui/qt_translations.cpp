#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installCzechQtTranslations(QCoreApplication& application)
{
    // qtbase holds every text the widgets show; the "qt" catalogue would pull in the other
    // modules' translations too.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Czech, QLocale::Czechia), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
