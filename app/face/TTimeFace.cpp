#include "TTimeFace.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <cmath>

namespace {
// The characters a time is made of.
bool TimeCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u':' || c == u'.';
}

// Glyph positions come in 64ths of a pixel: a start's whole pixel and its fraction.
int Sixtyfourths(qreal x)
{
    return static_cast<int>(std::lround(x * 64.0));
}
}

TTimeFace::TTimeFace(QWidget* parent) : QLabel(parent)
{
    Forget();
}

void TTimeFace::Forget()
{
    advances_.clear();
    pictures_.clear();
    // Ink reaches beyond the advance by the side bearings and a bold face's thickening: by a
    // pixel or two at these sizes.
    pad_ = QFontMetrics(font()).height() / 8 + 1;
}

bool TTimeFace::Composed(const QString& text) const
{
    // The pictures are drawn as a left-aligned, vertically centred plain label draws its line.
    if (alignment() != (Qt::AlignLeft | Qt::AlignVCenter) || contentsRect() != rect() || indent() > 0 ||
        wordWrap() || layoutDirection() != Qt::LeftToRight || !isEnabled() || text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!TimeCharacter(c))
            return false;
    return true;
}

qreal TTimeFace::Advance(QChar c)
{
    auto found = advances_.find(c);
    if (found == advances_.end())
        found = advances_.emplace(c, QFontMetricsF(font()).horizontalAdvance(c)).first;
    return found->second;
}

std::vector<qreal> TTimeFace::Starts(const QString& text)
{
    // These characters are not kerned against each other in the fonts the face uses: a text's
    // layout puts each one at the sum of the advances before it.
    std::vector<qreal> starts{0.0};
    for (const QChar c : text)
        starts.push_back(starts.back() + Advance(c));
    return starts;
}

QRect TTimeFace::Cell(qreal start, QChar c)
{
    const int left = Sixtyfourths(start) >> 6;
    return QRect(left - pad_, 0, static_cast<int>(std::ceil(Advance(c))) + 2 * pad_ + 1, height());
}

const QImage& TTimeFace::Picture(QChar c, qreal start)
{
    const int fraction = Sixtyfourths(start) & 63;
    auto found = pictures_.find({c, fraction});
    if (found != pictures_.end())
        return found->second;
    // Qt draws the character alone, where it would start within the label's line, on a clear
    // picture; drawn over the face it gives the pixels Qt's drawing of the whole text gives.
    const QRect cell = Cell(fraction / 64.0, c);
    QImage picture(cell.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(QRectF(pad_ + fraction / 64.0, 0, cell.width(), height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextForceLeftToRight, QString(c));
    painter.end();
    return pictures_.emplace(std::pair{c, fraction}, std::move(picture)).first->second;
}

QRegion TTimeFace::Changed(const QString& before, const QString& after)
{
    if (before.size() != after.size() || !Composed(before) || !Composed(after))
        return QRegion(rect());
    const std::vector<qreal> was = Starts(before);
    const std::vector<qreal> now = Starts(after);
    QRegion changed;
    for (qsizetype i = 0; i < after.size(); ++i) {
        const auto at = static_cast<size_t>(i);
        if (was[at] != now[at])  // a character of another width before: everything after moved
            return QRegion(rect());
        if (before.at(i) != after.at(i))
            changed += Cell(now[at], before.at(i)).united(Cell(now[at], after.at(i)));
    }
    return changed;
}

void TTimeFace::paintEvent(QPaintEvent* event)
{
    const QString shown = text();
    if (!Composed(shown)) {
        QLabel::paintEvent(event);
        return;
    }
    const std::vector<qreal> starts = Starts(shown);
    QPainter painter(this);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const qreal start = starts[static_cast<size_t>(i)];
        const QRect cell = Cell(start, shown.at(i));
        if (event->region().intersects(cell))
            painter.drawImage(cell.topLeft(), Picture(shown.at(i), start));
    }
}

void TTimeFace::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::ActivationChange:  // the colour may differ between an active and an inactive window
        Forget();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}

void TTimeFace::resizeEvent(QResizeEvent* event)
{
    // A character is centred in the label's height.
    if (event->size().height() != event->oldSize().height())
        pictures_.clear();
    QLabel::resizeEvent(event);
}

TTimeFace::Change::Change(QLabel* label) : face_(qobject_cast<TTimeFace*>(label))
{
    if (face_ == nullptr || !face_->isVisible())
        return;
    before_ = face_->text();
    // Set directly: updates turned back on through setUpdatesEnabled would repaint everything.
    face_->setAttribute(Qt::WA_UpdatesDisabled, true);
}

TTimeFace::Change::~Change()
{
    if (face_ == nullptr || !face_->testAttribute(Qt::WA_UpdatesDisabled))
        return;
    face_->setAttribute(Qt::WA_UpdatesDisabled, false);
    face_->update(face_->Changed(before_, face_->text()));
}
