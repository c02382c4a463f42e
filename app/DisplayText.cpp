#include "DisplayText.h"

#include "CodePage.h"

QString SjisToQString(const std::string& sjis)
{
    if (sjis.empty())
        return QString();
    const std::string utf8 = CodePage::Cp932ToUtf8(sjis);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
