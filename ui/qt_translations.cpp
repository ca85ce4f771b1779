#include "qt_translations.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Watches the application's events until the first context menu is asked for, installs the
// translations before the menu is built, and then goes.
class FirstContextMenuWatch final : public QObject
{
public:
    explicit FirstContextMenuWatch(QCoreApplication& application) : QObject(&application)
    {
        application.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ContextMenu) {
            auto& application = *static_cast<QCoreApplication*>(parent());
            application.removeEventFilter(this);
            // Removed, the filter sees no further event. Without the translations the menu
            // is English; it works all the same.
            static_cast<void>(installCzechQtTranslations(application));
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

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

void installCzechQtTranslationsOnFirstContextMenu(QCoreApplication& application)
{
    new FirstContextMenuWatch(application);
}
