#include "TDirectCaption.h"

#include "DisplayText.h"

#include <QBackingStore>
#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>
#include <QWindow>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// Set on a label for as long as the window's outline follows its content (TWindowShape).
constexpr const char* ShapeFollows = "ShapeFollows";

// Texts up to this long are pieced together character by character: the time. Longer ones (the
// title) change everywhere at once and are kept whole instead.
constexpr qsizetype MaxPieced = 12;
// Drawings of characters kept: a time needs a few dozen.
constexpr size_t MaxPieces = 256;
// Whole pictures kept: every step of a long title's scroll, a few hundred kilobytes.
constexpr qsizetype MaxWholeBytes = 4 << 20;

// Qt is not asked to repaint the label while its text changes; the attribute is set directly,
// because turning updates back on through setUpdatesEnabled asks for the repaint it saved.
class QuietLabel {
public:
    explicit QuietLabel(QLabel* label) : label_(label) { label_->setAttribute(Qt::WA_UpdatesDisabled, true); }
    ~QuietLabel() { label_->setAttribute(Qt::WA_UpdatesDisabled, false); }
    QuietLabel(const QuietLabel&) = delete;
    QuietLabel& operator=(const QuietLabel&) = delete;

private:
    QLabel* label_;
};

void SetQuietly(QLabel* label, const QString& text)
{
    if (label->text() == text)
        return;
    const QuietLabel quiet(label);
    label->setText(text);
}

bool SameColumn(const QImage& a, const QImage& b, int x)
{
    for (int y = 0; y < a.height(); ++y)
        if (reinterpret_cast<const QRgb*>(a.constScanLine(y))[x] != reinterpret_cast<const QRgb*>(b.constScanLine(y))[x])
            return false;
    return true;
}

// The column from which `image` is the picture under the label.
int InkEnd(const QImage& image, const QImage& under)
{
    int end = image.width();
    while (end > 0 && SameColumn(image, under, end - 1))
        --end;
    return end;
}

// Columns [from, width) of `fromImage` over `into`.
void CopyColumns(QImage& into, const QImage& fromImage, int from)
{
    const int width = into.width() - from;
    if (width <= 0)
        return;
    for (int y = 0; y < into.height(); ++y)
        std::memcpy(into.scanLine(y) + from * 4, fromImage.constScanLine(y) + from * 4, static_cast<size_t>(width) * 4);
}

// The window's depth when pictures of this format can go to this X window as they are (32-bit
// pixels in the server's byte order, the window's visual with 8-bit red, green and blue where
// QImage keeps them), else 0.
int XTakesAsIs(xcb_connection_t* c, xcb_window_t window, QImage::Format format)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return 0;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const int depth = geometry != nullptr ? geometry->depth : 0;
    const xcb_visualid_t visual = attributes != nullptr ? attributes->visual : 0;
    std::free(geometry);
    std::free(attributes);
    // A 24-bit window ignores the fourth byte: Qt keeps such windows in premultiplied ARGB too.
    if (!(depth == 24 && (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied)) &&
        !(depth == 32 && format == QImage::Format_ARGB32_Premultiplied))
        return 0;
    bool pixels32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            pixels32 = f.data->bits_per_pixel == 32;
    if (!pixels32)
        return 0;
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen))
        for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == visual)
                    return v.data->red_mask == 0xFF0000u && v.data->green_mask == 0xFF00u && v.data->blue_mask == 0xFFu
                               ? depth
                               : 0;
    return 0;
}

// The backing store as a picture of the window, where it is one we can write to directly.
QImage* StoreImage(QWidget* window)
{
    QBackingStore* store = window->backingStore();
    if (store == nullptr || store->paintDevice() == nullptr || store->paintDevice()->devType() != QInternal::Image)
        return nullptr;
    auto* image = static_cast<QImage*>(store->paintDevice());
    if (image->devicePixelRatio() != 1.0 || image->depth() != 32)
        return nullptr;
    return image;
}
}

std::vector<TDirectCaption*> TDirectCaption::drawers_;

TDirectCaption::TDirectCaption(QLabel* label) : QObject(label), label_(label)
{
    label_->installEventFilter(this);
    drawers_.push_back(this);
}

TDirectCaption::~TDirectCaption()
{
    ReleaseX();
    std::erase(drawers_, this);
}

void TDirectCaption::ReleaseX()
{
    if (xGc_ != 0 && qGuiApp != nullptr)
        xcb_free_gc(x_, xGc_);
    xGc_ = 0;
    xWindow_ = 0;
}

TDirectCaption* TDirectCaption::Of(const QLabel* label)
{
    for (TDirectCaption* drawer : drawers_)
        if (drawer->label_ == label)
            return drawer;
    return nullptr;
}

int TDirectCaption::DirectDraws(const QLabel* label)
{
    const TDirectCaption* direct = Of(label);
    return direct != nullptr ? direct->draws_ : 0;
}

int TDirectCaption::SplicedDraws(const QLabel* label)
{
    const TDirectCaption* direct = Of(label);
    return direct != nullptr ? direct->spliced_ : 0;
}

int TDirectCaption::QtDraws(const QLabel* label)
{
    const TDirectCaption* direct = Of(label);
    return direct != nullptr ? direct->rendered_ : 0;
}

int TDirectCaption::SentWidth(const QLabel* label)
{
    const TDirectCaption* direct = Of(label);
    return direct != nullptr ? direct->sentWidth_ : 0;
}

bool TDirectCaption::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedWindow_ && event->type() == QEvent::Expose && xWindow_ != 0 && shownToX_)
        QTimer::singleShot(0, this, [this] {
            // The backing store holds the same picture.
            if (const QImage* store = StoreImage(label_->window());
                xWindow_ != 0 && shownToX_ && store != nullptr && store->rect().contains(area_))
                PutToX(store->copy(area_), 0, area_.width());
        });
    if (watched == label_ && !ownPaint_) {
        switch (event->type()) {
        case QEvent::Paint: {
            // A caption drawn ahead is the label's text before Qt draws it.
            const QuietLabel quiet(label_);
            DisplayText::SettleCaption(label_);
            Forget();
            break;
        }
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            // Qt draws the label itself now, or will: whatever lies under it may have changed.
            Forget();
            break;
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
            // The text itself looks different now.
            Forget();
            ForgetDrawings();
            break;
        case QEvent::DynamicPropertyChange:
            // The outline may now follow the label.
            if (static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == ShapeFollows)
                Forget();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TDirectCaption::Forget()
{
    // The drawings of characters and texts stay while the picture under the label is found the
    // same again: a window shown again from the notification area draws without Qt at once.
    under_ = QImage();
    shownToX_ = false;
    validLevels_ = 0;
    blocked_ = false;
}

void TDirectCaption::ForgetDrawings()
{
    drawnOver_ = QImage();
    pieces_.clear();
    advances_.clear();
    widths_.clear();
    kerning_.clear();
    wholes_.clear();
    wholeBytes_ = 0;
}

bool TDirectCaption::CanDraw()
{
    QWidget* window = label_->window();
    if (!label_->isVisible() || !window->isVisible() || window->windowHandle() == nullptr ||
        !window->windowHandle()->isExposed())
        return false;
    if (!under_.isNull())
        return true;
    return !blocked_ && Capture();
}

bool TDirectCaption::Capture()
{
    blocked_ = true;
    QWidget* window = label_->window();
    const QImage* store = StoreImage(window);
    if (store == nullptr || label_->parentWidget() != window || label_->width() <= 0 || label_->height() <= 0 ||
        label_->property(ShapeFollows).toBool())
        return false;
    // A sibling above the label would be drawn under its text.
    const QObjectList& siblings = window->children();
    for (qsizetype i = siblings.indexOf(label_) + 1; i < siblings.size(); ++i) {
        const auto* above = qobject_cast<const QWidget*>(siblings[i]);
        if (above != nullptr && !above->isWindow() && above->isVisible() &&
            above->geometry().intersects(label_->geometry()))
            return false;
    }
    area_ = label_->geometry();
    if (!store->rect().contains(area_))
        return false;
    QImage under(area_.size(), store->format());
    under.fill(Qt::transparent);
    const QString text = label_->text();
    ownPaint_ = true;
    SetQuietly(label_, QString());
    window->render(&under, QPoint(), QRegion(area_), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    SetQuietly(label_, text);
    ownPaint_ = false;
    under_ = under;
    const QMargins margins = label_->contentsMargins();
    const Look look{static_cast<int>(label_->alignment()), label_->indent(), label_->margin(), margins.left(),
                    margins.top(), margins.right(), margins.bottom(), static_cast<int>(label_->textFormat()),
                    label_->wordWrap()};
    if (under_ != drawnOver_ || look != drawnWith_)
        ForgetDrawings();
    drawnOver_ = under_;
    drawnWith_ = look;
    blocked_ = false;
    // On an X display the picture goes straight to the window: Qt's flush first waits for the
    // server to finish reading its last picture, a round trip each time.
    ReleaseX();
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->connection() != nullptr) {
        x_ = x11->connection();
        xDepth_ = XTakesAsIs(x_, static_cast<xcb_window_t>(window->winId()), under_.format());
        // A request longer than the server takes would end the connection.
        const size_t fits = static_cast<size_t>(xcb_get_maximum_request_length(x_)) * 4 - 64;
        if (xDepth_ != 0 && static_cast<size_t>(under_.sizeInBytes()) <= fits) {
            xWindow_ = static_cast<uint32_t>(window->winId());
            xGc_ = xcb_generate_id(x_);
            xcb_create_gc(x_, xGc_, xWindow_, 0, nullptr);
        }
    }
    if (window->windowHandle() != watchedWindow_) {
        // Where the window is exposed, Qt shows its backing store again; the last picture follows.
        if (watchedWindow_ != nullptr)
            watchedWindow_->removeEventFilter(this);
        watchedWindow_ = window->windowHandle();
        watchedWindow_->installEventFilter(this);
    }
    return true;
}

QImage TDirectCaption::Rendered(const QString& text)
{
    QImage image = under_.copy();
    const QString shown = label_->text();
    ownPaint_ = true;
    SetQuietly(label_, text);
    // The label paints itself, exactly as in Qt's repaint, over what lies under it.
    label_->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    SetQuietly(label_, shown);
    ownPaint_ = false;
    ++rendered_;
    return image;
}

qreal TDirectCaption::Advance(QChar before, QChar c)
{
    // Single characters and pairs are laid out once each; a text's advance is the sum of its
    // characters' and of its pairs' kerning. A font that shapes beyond pairs shows in the check
    // of each drawing's first use elsewhere.
    const auto advance = [this](const QString& part) { return QFontMetricsF(label_->font()).horizontalAdvance(part); };
    const auto single = [&](QChar one) {
        auto found = advances_.find(one);
        if (found == advances_.end())
            found = advances_.emplace(one, advance(QString(one))).first;
        return found->second;
    };
    if (before.isNull())
        return single(c);
    const std::pair pair{before, c};
    auto kern = kerning_.find(pair);
    if (kern == kerning_.end())
        kern = kerning_.emplace(pair, advance(QString(before) + c) - single(before) - single(c)).first;
    return single(c) + kern->second;
}

void TDirectCaption::BuildLevel(size_t length)
{
    // The picture of the text's first `length` characters: the one before it with the last
    // character's drawing over it, where that drawing is known and clear of the ink before it.
    const QString part = levelsText_.first(static_cast<qsizetype>(length));
    const QImage& before = levels_[length - 1];
    const std::pair key{advance_[length - 1], part.back()};
    advance_[length] = advance_[length - 1] + Advance(length >= 2 ? part.at(length - 2) : QChar(), part.back());
    auto found = pieces_.find(key);
    if (found != pieces_.end() && found->second.From >= inkEnd_[length - 1]) {
        Piece& piece = found->second;
        // Into the level's own picture where it has one: no new picture ten times a second.
        QImage& image = levels_[length];
        if (image.size() == before.size() && image.format() == before.format() && image.isDetached())
            std::memcpy(image.bits(), before.constBits(), static_cast<size_t>(before.sizeInBytes()));
        else
            image = before.copy();
        CopyColumns(image, piece.Image, piece.From);
        if (!piece.Checked && piece.CapturedWith != part) {
            // The first time a drawing serves another text, Qt draws that text too, to compare.
            piece.Checked = true;
            QImage drawn = Rendered(part);
            if (drawn != image) {
                splicing_ = false;
                image = std::move(drawn);
            }
        }
        inkEnd_[length] = std::max(inkEnd_[length - 1], piece.InkEnd);
        return;
    }
    Piece piece;
    piece.Image = Rendered(part);
    piece.CapturedWith = part;
    // The last character's ink begins where the text first differs from the text before it.
    while (piece.From < piece.Image.width() && SameColumn(piece.Image, before, piece.From))
        ++piece.From;
    piece.InkEnd = InkEnd(piece.Image, under_);
    levels_[length] = piece.Image;
    inkEnd_[length] = piece.InkEnd;
    if (found == pieces_.end() && piece.From >= inkEnd_[length - 1]) {
        if (pieces_.size() >= MaxPieces)
            pieces_.clear();
        pieces_.emplace(key, std::move(piece));
    }
}

QImage TDirectCaption::Whole(const QString& text)
{
    if (const auto found = wholes_.find(text); found != wholes_.end())
        return found->second;
    QImage image = Rendered(text);
    if (wholeBytes_ + image.sizeInBytes() > MaxWholeBytes) {
        wholes_.clear();
        wholeBytes_ = 0;
    }
    wholes_.emplace(text, image);
    wholeBytes_ += image.sizeInBytes();
    return image;
}

QImage TDirectCaption::Frame(const QString& text)
{
    const int renderedBefore = rendered_;
    if (!splicing_)
        return Rendered(text);
    if (text.size() > MaxPieced)
        return Whole(text);
    // The pictures of the beginning this text shares with the last stand; the rest is built.
    size_t common = 0;
    while (common < validLevels_ && common < static_cast<size_t>(text.size()) && levelsText_.at(common) == text.at(common))
        ++common;
    levelsText_ = text;
    levels_.resize(static_cast<size_t>(text.size()) + 1);
    inkEnd_.resize(levels_.size());
    advance_.resize(levels_.size());
    levels_[0] = under_;
    inkEnd_[0] = 0;
    advance_[0] = 0;
    for (size_t length = common + 1; length < levels_.size() && splicing_; ++length) {
        BuildLevel(length);
        validLevels_ = length;
    }
    if (!splicing_) {
        validLevels_ = 0;
        return Rendered(text);
    }
    validLevels_ = levels_.size() - 1;
    if (rendered_ == renderedBefore)
        ++spliced_;
    return levels_.back();
}

void TDirectCaption::PutToX(const QImage& frame, int from, int to)
{
    // Columns [from, to) of the frame, packed row after row as the request carries them.
    const int width = to - from;
    const uchar* bits = frame.constBits();
    if (width != frame.width()) {
        packed_.resize(static_cast<size_t>(width) * static_cast<size_t>(frame.height()));
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(packed_.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                        frame.constScanLine(y) + from * 4, static_cast<size_t>(width) * 4);
        bits = reinterpret_cast<const uchar*>(packed_.data());
    }
    xcb_put_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, xWindow_, xGc_, static_cast<uint16_t>(width),
                  static_cast<uint16_t>(frame.height()), static_cast<int16_t>(area_.left() + from),
                  static_cast<int16_t>(area_.top()), 0, static_cast<uint8_t>(xDepth_),
                  static_cast<uint32_t>(width * frame.height() * 4), bits);
    xcb_flush(x_);
}

bool TDirectCaption::Draw(const QString& text)
{
    QWidget* window = label_->window();
    QBackingStore* store = window->backingStore();
    QImage* image = StoreImage(window);
    if (image == nullptr || image->format() != under_.format()) {
        Forget();
        label_->update();
        return false;
    }
    const QImage frame = Frame(text);
    ++draws_;
    // The backing store holds what the window shows, or what Qt is about to show of it: only
    // the columns that differ from it are written and sent (a change of the tenths is a digit's
    // width of the label, a tenth of the picture).
    int from = 0;
    int to = frame.width();
    if (xWindow_ == 0 || shownToX_) {
        const auto differs = [&](int x) {
            for (int y = 0; y < frame.height(); ++y)
                if (reinterpret_cast<const QRgb*>(image->constScanLine(area_.top() + y))[area_.left() + x] !=
                    reinterpret_cast<const QRgb*>(frame.constScanLine(y))[x])
                    return true;
            return false;
        };
        while (from < to && !differs(from))
            ++from;
        while (to > from && !differs(to - 1))
            --to;
    }
    sentWidth_ = to - from;
    if (from == to)
        return true;
    const auto copy = [&] {
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(image->scanLine(area_.top() + y) + (area_.left() + from) * 4, frame.constScanLine(y) + from * 4,
                        static_cast<size_t>(to - from) * 4);
    };
    if (xWindow_ != 0) {
        // The backing store keeps the same picture, for whatever Qt shows of it later.
        copy();
        PutToX(frame, from, to);
        shownToX_ = true;
    } else {
        const QRegion area(area_.left() + from, area_.top(), to - from, area_.height());
        store->beginPaint(area);
        copy();
        store->endPaint();
        store->flush(area, window->windowHandle());
    }
    return true;
}

bool TDirectCaption::DrawAhead(QLabel* label, const std::string& sjis)
{
    TDirectCaption* direct = Of(label);
    if (direct == nullptr || !direct->splicing_ || direct->under_.isNull() || !direct->CanDraw())
        return false;
    // The drawer must be in step with the label: its pictures are of what the label shows.
    const QString shown = DisplayText::ShownText(label);
    const qsizetype n = shown.size();
    if (n < 2 || n > MaxPieced || shown != direct->levelsText_ || direct->validLevels_ + 1 != direct->levels_.size() ||
        sjis.size() != static_cast<size_t>(n))
        return false;
    const QString text = SjisToQString(sjis);
    if (text.size() != n || QStringView(text).first(n - 1) != QStringView(shown).first(n - 1))
        return false;
    // The label keeps its size while the sum of its characters' advances does.
    const auto width = [direct](QChar c) {
        auto found = direct->widths_.find(c);
        if (found == direct->widths_.end())
            found = direct->widths_.emplace(c, direct->label_->fontMetrics().horizontalAdvance(c)).first;
        return found->second;
    };
    if (width(text.back()) != width(shown.back()))
        return false;
    if (!direct->Draw(text))
        return false;
    DisplayText::SetPendingCaption(label, sjis, text);
    return true;
}

TDirectCaption::Change::Change(QLabel* label)
{
    TDirectCaption* direct = Of(label);
    if (direct == nullptr)
        direct = new TDirectCaption(label);  // owned by the label
    if (!direct->CanDraw())
        return;
    direct_ = direct;
    before_ = label->geometry();
    label->setAttribute(Qt::WA_UpdatesDisabled, true);
}

TDirectCaption::Change::~Change()
{
    if (direct_ == nullptr)
        return;
    QLabel* label = direct_->label_;
    label->setAttribute(Qt::WA_UpdatesDisabled, false);
    if (label->geometry() != before_ || direct_->under_.isNull()) {
        label->update();
        return;
    }
    direct_->Draw(label->text());
}
