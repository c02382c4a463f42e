#include "DisplayText.h"

#include "CodePage.h"

#include <QLabel>
#include <QVariant>

QString SjisToQString(const std::string& sjis)
{
    if (sjis.empty())
        return QString();
    const std::string utf8 = CodePage::Cp932ToUtf8(sjis);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

namespace DisplayText {

void SetLabelCaption(QLabel* label, const std::string& sjis, bool sizeToText)
{
    const QString shown = SjisToQString(sjis);
    label->setProperty("Caption", QByteArray(sjis.data(), static_cast<qsizetype>(sjis.size())));
    label->setProperty("CaptionShown", shown);
    label->setText(shown);
    // The labels size themselves to their text.
    if (sizeToText)
        label->adjustSize();
}

std::string LabelCaption(const QLabel* label)
{
    // The bytes stand only while the label still shows what they were converted to; text set
    // on the label directly (plain ASCII such as "0:00.0" or empty text) is taken as it is.
    const QVariant v = label->property("Caption");
    if (v.isValid() && label->property("CaptionShown").toString() == label->text()) {
        const QByteArray bytes = v.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    const QByteArray text = label->text().toLatin1();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
}

}
