#include "TSpeedButton.h"

#include "EFileError.h"
#include "ImageFile.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TSpeedButton::LoadGlyph(const std::string& path)
{
    SetGlyph(ImageFile::Read(path));
}

void TSpeedButton::SetGlyph(const QImage& strip)
{
    QImage image = strip.convertToFormat(QImage::Format_RGB32);
    QPixmap pixmap = QPixmap::fromImage(image);
    if (image.width() > 0 && image.height() > 0) {
        const QRgb key = image.pixel(0, image.height() - 1);
        pixmap.setMask(QBitmap::fromImage(image.createMaskFromColor(key, Qt::MaskInColor)));
    }
    strip_ = pixmap;
    resize(strip_.width() / 3, strip_.height());
    update();
}

void TSpeedButton::ClearGlyph()
{
    strip_ = QPixmap();
    update();
}

int TSpeedButton::GlyphIndex() const
{
    if (!isEnabled())
        return 1;
    if (isDown() || isChecked())
        return 2;
    return 0;
}

QSize TSpeedButton::sizeHint() const
{
    if (strip_.isNull())
        return QSize(16, 16);
    return QSize(strip_.width() / 3, strip_.height());
}

void TSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!strip_.isNull()) {
        const int w = strip_.width() / 3;
        p.drawPixmap(0, 0, strip_, GlyphIndex() * w, 0, w, strip_.height());
        return;
    }
    // Without a skin: a flat face with a plain transport symbol, so the button stays usable.
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), isDown() ? QColor(200, 200, 200) : QColor(235, 235, 235));
    p.setPen(QColor(130, 130, 130));
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? QColor(40, 40, 40) : QColor(160, 160, 160));
    const double w = width(), h = height();
    auto tri = [&](double x0, double x1, bool right) {
        QPainterPath path;
        if (right) {
            path.moveTo(x0, h * 0.25);
            path.lineTo(x1, h * 0.5);
            path.lineTo(x0, h * 0.75);
        } else {
            path.moveTo(x1, h * 0.25);
            path.lineTo(x0, h * 0.5);
            path.lineTo(x1, h * 0.75);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (tag_) {
    case 0: tri(w * 0.3, w * 0.75, true); break;
    case 1: p.drawRect(QRectF(w * 0.28, h * 0.28, w * 0.44, h * 0.44)); break;
    case 2:
        p.drawRect(QRectF(w * 0.28, h * 0.25, w * 0.16, h * 0.5));
        p.drawRect(QRectF(w * 0.56, h * 0.25, w * 0.16, h * 0.5));
        break;
    case 3:
        p.drawRect(QRectF(w * 0.22, h * 0.25, w * 0.1, h * 0.5));
        tri(w * 0.32, w * 0.75, false);
        break;
    case 4:
        tri(w * 0.25, w * 0.68, true);
        p.drawRect(QRectF(w * 0.68, h * 0.25, w * 0.1, h * 0.5));
        break;
    case 5:
        tri(w * 0.15, w * 0.5, false);
        tri(w * 0.5, w * 0.85, false);
        break;
    case 6:
        tri(w * 0.15, w * 0.5, true);
        tri(w * 0.5, w * 0.85, true);
        break;
    default: break;
    }
}
