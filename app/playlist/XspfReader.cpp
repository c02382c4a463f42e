#include "XspfReader.h"

#include <QByteArray>
#include <QUrl>
#include <QXmlStreamReader>

namespace XspfReader {

namespace {
// The location as a name for ResolveEntry: a file:// URI as it is, a relative reference decoded
// to its bytes; empty for another scheme.
std::string NameOf(const QString& location)
{
    const QString trimmed = location.trimmed();
    const QUrl url(trimmed);
    if (!url.scheme().isEmpty()) {
        if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
            return std::string();
        return trimmed.toStdString();
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(trimmed.toUtf8());
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
}

std::vector<PlaylistRules::TListedEntry> Entries(const std::string& bytes)
{
    QXmlStreamReader xml(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    std::vector<PlaylistRules::TListedEntry> entries;
    PlaylistRules::TListedEntry track;
    bool inTrack = false, located = false;
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (name == QLatin1String("track")) {
                inTrack = true;
                located = false;
                track = {};
            } else if (inTrack && name == QLatin1String("location") && !located) {
                located = true;
                track.name = NameOf(xml.readElementText(QXmlStreamReader::SkipChildElements));
            } else if (inTrack && name == QLatin1String("title")) {
                track.title = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed().toStdString();
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("track") && inTrack) {
            inTrack = false;
            if (PlaylistRules::IsAudioName(PlaylistRules::Trimmed(track.name)))
                entries.push_back(std::move(track));
        }
    }
    return entries;
}

}
