#pragma once

// Qt's own texts (a field's context menu, standard buttons) in Czech like the rest of the
// window, whatever the system's language.

class QCoreApplication;

// False when Qt's Czech translations are not installed; Qt's texts then stay English.
[[nodiscard]] bool installCzechQtTranslations(QCoreApplication& application);

// Installs them just before the first context menu opens: the only texts of Qt's own this
// window shows are in those menus, and loading the catalogue at start would cost about
// 90 KiB for a user who never opens one.
void installCzechQtTranslationsOnFirstContextMenu(QCoreApplication& application);
