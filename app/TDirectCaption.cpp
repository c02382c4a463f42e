#include "TDirectCaption.h"

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

// Drawings of last characters kept: a time needs a few dozen.
constexpr size_t MaxTails = 256;

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

bool SameColumns(const QImage& a, const QImage& b, int from)
{
    for (int x = from; x < a.width(); ++x)
        if (!SameColumn(a, b, x))
            return false;
    return true;
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
    std::erase(drawers_, this);
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

bool TDirectCaption::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedWindow_ && event->type() == QEvent::Expose && xWindow_ != 0 && !shown_.isNull())
        QTimer::singleShot(0, this, [this] {
            if (xWindow_ != 0 && !shown_.isNull())
                PutToX(shown_);
        });
    if (watched == label_ && !ownPaint_) {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
            // Qt draws the label itself now, or will: whatever lies under it may have changed.
            Forget();
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
    under_ = QImage();
    shown_ = QImage();
    prefix_.clear();
    prefixImage_ = QImage();
    tails_.clear();
    blocked_ = false;
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
    blocked_ = false;
    // On an X display the picture goes straight to the window: Qt's flush first waits for the
    // server to finish reading its last picture, a round trip each time.
    xWindow_ = 0;
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        x11 != nullptr && x11->connection() != nullptr) {
        xcb_connection_t* c = x11->connection();
        xDepth_ = XTakesAsIs(c, static_cast<xcb_window_t>(window->winId()), under_.format());
        // A request longer than the server takes would end the connection.
        const size_t fits = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4 - 64;
        if (xDepth_ != 0 && static_cast<size_t>(under_.sizeInBytes()) <= fits)
            xWindow_ = static_cast<uint32_t>(window->winId());
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
    return image;
}

std::tuple<qreal, QChar, QChar> TDirectCaption::TailKey(const QString& text) const
{
    return {prefixAdvance_, text.at(text.size() - 2), text.back()};
}

void TDirectCaption::SetPrefixImage(QImage image)
{
    prefixImage_ = std::move(image);
    prefixEnd_ = prefixImage_.width();
    while (prefixEnd_ > 0 && SameColumn(prefixImage_, under_, prefixEnd_ - 1))
        --prefixEnd_;
}

QImage TDirectCaption::Frame()
{
    const QString text = label_->text();
    if (!splicing_ || text.size() < 2)
        return Rendered(text);
    const QString prefix = text.first(text.size() - 1);
    if (prefix != prefix_) {
        // A new beginning is drawn whole. Where its last character was drawn at this place
        // before, the beginning alone is that drawing with the character's columns taken from
        // the picture under the label; otherwise Qt draws it at the next change.
        prefix_ = prefix;
        prefixImage_ = QImage();
        prefixAdvance_ = QFontMetricsF(label_->font()).horizontalAdvance(prefix);
        QImage whole = Rendered(text);
        const auto found = tails_.find(TailKey(text));
        if (found != tails_.end() && SameColumns(whole, found->second.Image, found->second.From)) {
            QImage alone = whole.copy();
            CopyColumns(alone, under_, found->second.From);
            SetPrefixImage(std::move(alone));
        }
        return whole;
    }
    if (prefixImage_.isNull())
        SetPrefixImage(Rendered(prefix));
    const auto key = TailKey(text);
    auto found = tails_.find(key);
    if (found == tails_.end()) {
        Tail tail;
        tail.Image = Rendered(text);
        tail.CapturedWith = text;
        // The last character's ink begins where the whole text first differs from its beginning.
        while (tail.From < tail.Image.width() && SameColumn(tail.Image, prefixImage_, tail.From))
            ++tail.From;
        const QImage frame = tail.Image;
        if (tails_.size() >= MaxTails)
            tails_.clear();
        if (tail.From >= prefixEnd_)
            tails_.emplace(key, std::move(tail));
        return frame;
    }
    Tail& tail = found->second;
    if (tail.From < prefixEnd_)
        return Rendered(text);
    QImage frame = prefixImage_.copy();
    CopyColumns(frame, tail.Image, tail.From);
    if (!tail.Checked && tail.CapturedWith != text) {
        // The first time a picture serves another text, Qt draws that text too, to compare.
        tail.Checked = true;
        const QImage drawn = Rendered(text);
        if (drawn != frame) {
            splicing_ = false;
            return drawn;
        }
    }
    ++spliced_;
    return frame;
}

void TDirectCaption::PutToX(const QImage& frame)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 != nullptr ? x11->connection() : nullptr;
    if (c == nullptr)
        return;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, xWindow_, 0, nullptr);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xWindow_, gc, static_cast<uint16_t>(frame.width()),
                  static_cast<uint16_t>(frame.height()), static_cast<int16_t>(area_.left()),
                  static_cast<int16_t>(area_.top()), 0, static_cast<uint8_t>(xDepth_),
                  static_cast<uint32_t>(frame.sizeInBytes()), frame.constBits());
    xcb_free_gc(c, gc);
    xcb_flush(c);
}

void TDirectCaption::Draw()
{
    QWidget* window = label_->window();
    QBackingStore* store = window->backingStore();
    QImage* image = StoreImage(window);
    if (image == nullptr || image->format() != under_.format()) {
        Forget();
        label_->update();
        return;
    }
    const QImage frame = Frame();
    const auto copy = [&] {
        for (int y = 0; y < frame.height(); ++y)
            std::memcpy(image->scanLine(area_.top() + y) + area_.left() * 4, frame.constScanLine(y),
                        static_cast<size_t>(frame.width()) * 4);
    };
    if (xWindow_ != 0) {
        // The backing store keeps the same picture, for whatever Qt shows of it later.
        copy();
        PutToX(frame);
        shown_ = frame;
    } else {
        const QRegion area(area_);
        store->beginPaint(area);
        copy();
        store->endPaint();
        store->flush(area, window->windowHandle());
    }
    ++draws_;
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
    direct_->Draw();
}
