#include "TTimeFace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
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
    // Ink reaches beyond the advance by its bearings and a bold face's thickening: a pixel or two.
    pad_ = QFontMetrics(font()).height() / 8 + 1;
}

bool TTimeFace::Composed(const QString& text) const
{
    // The pictures are drawn as a left-aligned, vertically centred plain label draws its line.
    if (alignment() != (Qt::AlignLeft | Qt::AlignVCenter) || contentsRect() != rect() || indent() > 0 ||
        wordWrap() || layoutDirection() != Qt::LeftToRight || !isEnabled() || text.isEmpty())
        return false;
    const auto timeCharacter = [](QChar c) { return (c >= u'0' && c <= u'9') || c == u':' || c == u'.'; };
    return std::all_of(text.begin(), text.end(), timeCharacter);
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
    // The face's fonts kern no pair of these: each starts at the sum of the advances before it.
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
    if (height() != height_) {
        pictures_.clear();
        height_ = height();
    }
    const int fraction = Sixtyfourths(start) & 63;
    auto found = pictures_.find({c, fraction});
    if (found != pictures_.end())
        return found->second;
    // Qt draws the character alone where it starts in the label's line, on a clear picture: over
    // the face, the pixels of Qt's drawing of the whole text.
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

bool TTimeFace::TakeUnder()
{
    QWidget* parent = parentWidget();
    if (!under_.isNull() || parent == nullptr || devicePixelRatioF() != 1.0)
        return !under_.isNull();
    // A sibling above the label is painted after it; kept under it, it would lie under the text.
    const QObjectList& siblings = parent->children();
    for (qsizetype i = siblings.indexOf(this) + 1; i < siblings.size(); ++i) {
        const auto* above = qobject_cast<const QWidget*>(siblings[i]);
        if (above != nullptr && !above->isWindow() && above->isVisible() && above->geometry().intersects(geometry()))
            return false;
    }
    QImage under(size(), QImage::Format_ARGB32_Premultiplied);
    under.fill(Qt::transparent);
    taking_ = true;
    parent->render(&under, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    taking_ = false;
    under_ = std::move(under);
    return true;
}

void TTimeFace::RepaintCells(const QRegion& cells)
{
    // What Qt has yet to paint is painted first, as under any label: it may lie under this one.
    const bool some = !cells.isEmpty() && cells != QRegion(rect());
    if (some)
        QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
    if (!some || !TakeUnder()) {
        update(cells);
        return;
    }
    // Opaque for this one paint: Qt paints no background and no face under the cells.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    own_ = cells;
    repaint(cells);
    own_ = QRegion();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TTimeFace::paintEvent(QPaintEvent* event)
{
    if (taking_)
        return;
    const QString shown = text();
    const bool over = !own_.isEmpty();  // our own repaint of changed cells, over under_
    if (!Composed(shown)) {
        QLabel::paintEvent(event);
    } else {
        const std::vector<qreal> starts = Starts(shown);
        QPainter painter(this);
        if (over)
            painter.drawImage(0, 0, under_);
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const qreal start = starts[static_cast<size_t>(i)];
            const QRect cell = Cell(start, shown.at(i));
            if (event->region().intersects(cell))
                painter.drawImage(cell.topLeft(), Picture(shown.at(i), start));
        }
    }
    if (!over || !(event->region() - own_).isEmpty()) {
        // Qt paints for reasons of its own: what lies under the label may have changed, and is
        // taken again at the next change. Where that came with our own paint, Qt paints it anew.
        under_ = QImage();
        if (over)
            update();
    }
}

void TTimeFace::changeEvent(QEvent* event)
{
    // The colour may also differ between an active and an inactive window.
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::PaletteChange || type == QEvent::StyleChange ||
        type == QEvent::ActivationChange)
        Forget();
    QLabel::changeEvent(event);
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
    face_->RepaintCells(face_->Changed(before_, face_->text()));
}
