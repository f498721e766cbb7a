#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::Literals::StringLiterals;

namespace ui {

bool installQtTranslations()
{
    // Owned by the application, so that it lives as long as the texts are looked up.
    auto* translator = new QTranslator(QCoreApplication::instance());
    const bool loaded = translator->load(QLocale(QLocale::Russian, QLocale::Russia), u"qtbase"_s, u"_"_s,
                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace ui
