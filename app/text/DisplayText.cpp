#include "DisplayText.h"

#include "CodePage.h"

#include <QLabel>

#include <unordered_map>

QString SjisToQString(const std::string& sjis)
{
    if (sjis.empty())
        return QString();
    const std::string utf8 = CodePage::Cp932ToUtf8(sjis);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

namespace {
// What the program knows of each label's text, kept beside the label rather than as dynamic
// properties on it: the time changes ten times a second, and each property set is an event
// sent through every filter of the label and the application.
struct Record {
    std::string Bytes;  // the caption given, as bytes
    QString Shown;      // what they were converted to
    bool HasCaption = false;
    int FittedHeight = -1;
};

// The records, each dropped with its label; the connections that drop them end with the table.
class Records : public QObject {
public:
    Record& Of(const QLabel* label)
    {
        auto [at, added] = records_.try_emplace(label);
        if (added)
            connect(label, &QObject::destroyed, this, [this, label] { records_.erase(label); });
        return at->second;
    }

private:
    std::unordered_map<const QLabel*, Record> records_;
};

Record& RecordOf(const QLabel* label)
{
    static Records records;
    return records.Of(label);
}
}

namespace DisplayText {

void SetLabelCaption(QLabel* label, const std::string& sjis, bool sizeToText)
{
    const QString shown = SjisToQString(sjis);
    Record& record = RecordOf(label);
    record.Bytes = sjis;
    record.Shown = shown;
    record.HasCaption = true;
    label->setText(shown);
    // The labels size themselves to their text.
    if (sizeToText)
        label->adjustSize();
}

std::string LabelCaption(const QLabel* label)
{
    // The bytes stand only while the label still shows what they were converted to; text set
    // on the label directly (plain ASCII such as "0:00.0" or empty text) is taken as it is.
    const Record& record = RecordOf(label);
    if (record.HasCaption && record.Shown == label->text())
        return record.Bytes;
    const QByteArray text = label->text().toLatin1();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
}

int FittedHeight(const QLabel* label)
{
    return RecordOf(label).FittedHeight;
}

void SetFittedHeight(const QLabel* label, int height)
{
    RecordOf(label).FittedHeight = height;
}

}
