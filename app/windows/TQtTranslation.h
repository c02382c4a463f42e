#pragma once
// Qt's own texts in the interface's language. The file dialogs ("Look in", "File name",
// "Cancel"), the standard buttons of message boxes and the context menus of text fields are
// Qt's; without its Japanese translation they speak English under our Japanese titles. The
// interface is Japanese whatever the desktop's language, so Qt's part is too. The translation
// is the one the system installs with Qt (Debian's qt6-translations-l10n), found where Qt keeps
// its translations; without it Qt's texts stay English and nothing else changes.
#include <QString>
#include <QTranslator>

class TQtTranslation {
public:
    // Loads the translation and installs it on the application, which must exist; before any
    // window is made, since a widget takes its texts when it is made.
    TQtTranslation();
    ~TQtTranslation();
    TQtTranslation(const TQtTranslation&) = delete;
    TQtTranslation& operator=(const TQtTranslation&) = delete;

    bool Installed() const { return installed_; }
    // Where Qt's translations are looked for.
    static QString Folder();

private:
    QTranslator translator_;
    bool installed_ = false;
};
