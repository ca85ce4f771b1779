#pragma once

// Qt's own texts (a field's context menu, standard buttons) in Czech like the rest of the
// window, whatever the system's language.

class QCoreApplication;

// False when Qt's Czech translations are not installed; Qt's texts then stay English.
[[nodiscard]] bool installCzechQtTranslations(QCoreApplication& application);
