#include "TQtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>

TQtTranslation::TQtTranslation()
{
    if (QCoreApplication::instance() != nullptr && translator_.load(QStringLiteral("qtbase_ja"), Folder()))
        installed_ = QCoreApplication::installTranslator(&translator_);
}

TQtTranslation::~TQtTranslation()
{
    if (installed_ && QCoreApplication::instance() != nullptr)
        QCoreApplication::removeTranslator(&translator_);
}

QString TQtTranslation::Folder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}
