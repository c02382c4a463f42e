#include "TWindowShape.h"

#include "ERangeError.h"
#include "TSpeedButton.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <QScreen>
#include <QWindow>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// A mask of more rectangles than this is refused where the display takes masks as rectangles:
// an X server without big requests takes about 32,000 in one request.
constexpr qsizetype MaxMaskRects = 30000;

constexpr QRgb Black = 0x000000u;

bool IsBlack(QRgb pixel)
{
    return (pixel & 0xFFFFFFu) == Black;
}

bool AnyBlack(const QImage& image, const QRect& area)
{
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (IsBlack(line[x]))
                return true;
    }
    return false;
}

void SetShown(QImage& outline, int x, int y, bool shown)
{
    uchar& byte = outline.scanLine(y)[x >> 3];
    const auto bit = static_cast<uchar>(1u << (x & 7));
    byte = shown ? static_cast<uchar>(byte | bit) : static_cast<uchar>(byte & ~bit);
}

bool Shown(const QImage& outline, int x, int y)
{
    return (outline.constScanLine(y)[x >> 3] >> (x & 7)) & 1u;
}

// The runs of shown pixels, row by row: y-x banded, as a region wants them.
QList<QRect> ShownRuns(const QImage& outline, qsizetype limit)
{
    QList<QRect> runs;
    for (int y = 0; y < outline.height(); ++y) {
        int x = 0;
        while (x < outline.width()) {
            if (!Shown(outline, x, y)) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < outline.width() && Shown(outline, x, y))
                ++x;
            runs.append(QRect(x0, y, x - x0, 1));
            if (runs.size() > limit)
                return runs;
        }
    }
    return runs;
}
}

TWindowShape::TWindowShape(QWidget* window) : QObject(window), window_(window)
{
}

void TWindowShape::Build(const QImage& face, const std::vector<QWidget*>& parts)
{
    Unwatch();
    face_ = face.convertToFormat(QImage::Format_RGB32);
    if (face_.isNull()) {
        Clear();
        return;
    }
    outline_ = MakeOutline();
    Apply();
    Watch(parts);
    FollowScreen();
}

// A window moved to a screen of another scale is drawn at another size: its outline is made anew.
void TWindowShape::FollowScreen()
{
    QWindow* handle = window_->windowHandle();
    if (handle == nullptr || followed_ == handle)
        return;
    followed_ = handle;
    connect(handle, &QWindow::screenChanged, this, [this] {
        if (screenRedraw_)
            screenRedraw_();
        RemakeOutline();
    });
}

void TWindowShape::Clear()
{
    Unwatch();
    face_ = QImage();
    outline_ = QImage();
    if (nativeShape_) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            xcb_connection_t* c = x11->connection();
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, static_cast<xcb_window_t>(window_->winId()),
                           0, 0, XCB_NONE);
            xcb_flush(c);
        }
        nativeShape_ = false;
    }
    window_->clearMask();
}

void TWindowShape::RemakeOutline()
{
    if (face_.isNull())
        return;
    outline_ = MakeOutline();
    try {
        Apply();
    } catch (const ERangeError&) {
        // A shape that grew too complex (at a new size, or with new black text) keeps the last one
        // shown.
    }
}

QImage TWindowShape::MakeOutline() const
{
    // The outline is in the window's device pixels: under a scale factor the window is larger
    // on the display than its face, and a face-sized outline would show only part of it.
    const qreal ratio = window_->devicePixelRatioF();
    const int w = std::max(1, qRound(face_.width() * ratio));
    const int h = std::max(1, qRound(face_.height() * ratio));
    // The window as it is drawn now at that size: face, buttons and texts together.
    QImage drawn(w, h, QImage::Format_RGB32);
    drawn.setDevicePixelRatio(ratio);
    drawn.fill(Qt::white);
    window_->render(&drawn, QPoint(), QRegion(0, 0, face_.width(), face_.height()), QWidget::DrawChildren);
    // The face is enlarged pixel by pixel, as it is shown, so its key colour stays exact.
    const QImage face =
        ratio == 1.0 ? face_ : face_.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QRgb key = face_.pixel(0, 0) & 0xFFFFFFu;
    QImage outline(w, h, QImage::Format_MonoLSB);
    outline.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < h; ++y) {
        const auto* faceLine = reinterpret_cast<const QRgb*>(face.constScanLine(y));
        const auto* drawnLine = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        for (int x = 0; x < w; ++x)
            SetShown(outline, x, y, (faceLine[x] & 0xFFFFFFu) != key && !IsBlack(drawnLine[x]));
    }
    return outline;
}

void TWindowShape::Apply()
{
    if (ApplyX11())
        return;
    // A widget's mask is in the window's own units, the face's.
    const QImage logical = outline_.size() == face_.size()
                               ? outline_
                               : outline_.scaled(face_.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QList<QRect> runs = ShownRuns(logical, MaxMaskRects);
    if (runs.size() > MaxMaskRects)
        throw ERangeError("スキンの形が複雑すぎて表示できません (face.bmp " + std::to_string(face_.width()) + "×" +
                          std::to_string(face_.height()) + ")");
    QRegion shown;
    shown.setRects(runs.constData(), static_cast<int>(runs.size()));
    window_->setMask(shown);
}

// The outline as a one-bit pixmap on the server, sent in pieces the server accepts, and set as
// the window's bounding shape (which also bounds where it takes the mouse).
bool TWindowShape::ApplyX11()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return false;
    xcb_connection_t* c = x11->connection();
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    if (shape == nullptr || !shape->present)
        return false;
    const xcb_window_t win = static_cast<xcb_window_t>(window_->winId());
    // Under a fractional scale factor the window's size on the server may differ by a pixel
    // from the rounded one; the outline is fitted to the size the server has.
    QImage fitted = outline_;
    xcb_generic_error_t* error = nullptr;
    if (xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, win), &error)) {
        const QSize real(geometry->width, geometry->height);
        std::free(geometry);
        if (real != outline_.size() && std::abs(real.width() - outline_.width()) <= 2 &&
            std::abs(real.height() - outline_.height()) <= 2)
            fitted = outline_.scaled(real, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    std::free(error);
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int w = fitted.width();
    const int h = fitted.height();
    const int pad = std::max<int>(setup->bitmap_format_scanline_pad, 8);
    const int unit = std::max<int>(setup->bitmap_format_scanline_unit, 8) / 8;
    const size_t stride = static_cast<size_t>((w + pad - 1) / pad * pad / 8);
    const bool msbBits = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_MSB_FIRST;
    const bool msbBytes = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    // Our outline has the first pixel in the lowest bit of the first byte.
    const QImage rows = msbBits ? fitted.convertToFormat(QImage::Format_Mono) : fitted;
    std::vector<uint8_t> bits(stride * static_cast<size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        uint8_t* out = bits.data() + stride * static_cast<size_t>(y);
        std::memcpy(out, rows.constScanLine(y), static_cast<size_t>((w + 7) / 8));
        // Where bits and bytes run in opposite directions inside a scanline unit, the bytes of
        // each unit are reversed.
        if (msbBits != msbBytes && unit > 1)
            for (size_t i = 0; i + static_cast<size_t>(unit) <= stride; i += static_cast<size_t>(unit))
                std::reverse(out + i, out + i + unit);
    }
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, pixmap, win, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    const size_t maxBytes = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4;
    const size_t rowsPerPiece = std::max<size_t>(1, (std::min<size_t>(maxBytes, 1u << 20) - 64) / stride);
    for (size_t y = 0; y < static_cast<size_t>(h); y += rowsPerPiece) {
        const size_t n = std::min(rowsPerPiece, static_cast<size_t>(h) - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_XY_PIXMAP, pixmap, gc, static_cast<uint16_t>(w),
                      static_cast<uint16_t>(n), 0, static_cast<int16_t>(y), 0, 1,
                      static_cast<uint32_t>(stride * n), bits.data() + stride * y);
    }
    window_->clearMask();
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, win, 0, 0, pixmap);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    nativeShape_ = true;
    return true;
}

QString TWindowShape::ContentKey(const QWidget* part)
{
    if (const auto* label = qobject_cast<const QLabel*>(part))
        return label->text();
    if (const auto* button = dynamic_cast<const TSpeedButton*>(part))
        return QString::number(button->GlyphIndex()) + u' ' + QString::number(button->Glyph().cacheKey());
    return QString();
}

void TWindowShape::Watch(const std::vector<QWidget*>& parts)
{
    for (QWidget* part : parts) {
        bool changing = AnyBlack(face_, part->geometry());
        if (const auto* label = qobject_cast<const QLabel*>(part))
            changing = changing || IsBlack(label->palette().color(QPalette::WindowText).rgb());
        if (const auto* button = dynamic_cast<const TSpeedButton*>(part))
            changing = changing || AnyBlack(button->Glyph().toImage().convertToFormat(QImage::Format_RGB32),
                                            QRect(QPoint(), button->Glyph().size()));
        if (!changing)
            continue;
        watched_.push_back({part, ContentKey(part)});
        part->installEventFilter(this);
    }
}

void TWindowShape::Unwatch()
{
    for (const Watched& w : watched_)
        w.Part->removeEventFilter(this);
    watched_.clear();
}

bool TWindowShape::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || rebuildPending_)
        return false;
    for (Watched& w : watched_) {
        if (w.Part != watched)
            continue;
        const QString key = ContentKey(w.Part);
        if (key == w.Key)
            break;
        w.Key = key;
        // After the paint, once: the new content is then what the window draws.
        rebuildPending_ = true;
        QTimer::singleShot(0, this, [this] {
            rebuildPending_ = false;
            RemakeOutline();
        });
        break;
    }
    return false;
}
