#pragma once
// A flat button drawn from a glyph strip of three images side by side: normal, disabled,
// pressed. The button takes its size from the strip: a third of its width, its whole height.
// Like the classic speed button, the colour of a strip's bottom-left pixel is see-through,
// so the face behind the button shows around the glyph.
#include <QAbstractButton>
#include <QPixmap>
#include <string>

class TSpeedButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    // Loads the strip. Throws EFileError when the file is missing or not a bitmap; the button
    // then keeps its old glyph and size.
    void LoadGlyph(const std::string& path);
    // Takes a strip already in memory (the same sizing rule).
    void SetGlyph(const QImage& strip);
    // Drops the glyph: the button draws a plain flat face with its symbol.
    void ClearGlyph();
    bool HasGlyph() const { return !strip_.isNull(); }
    const QPixmap& Glyph() const { return strip_; }

    int NumGlyphs() const { return 3; }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The image drawn now: 0 normal, 1 disabled, 2 pressed.
    int GlyphIndex() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap strip_;
    int tag_ = 0;
};
