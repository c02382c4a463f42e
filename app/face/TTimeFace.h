#pragma once
// TTimeFace: the time on the main window's face, a label that repaints only the characters that
// changed.
//
// The time changes ten times a second, nearly always in its last digit. A plain label lays its
// text out again for each change and repaints all of itself, with the face under it. This one
// keeps a picture of each character as Qt draws it in the label's font and colour, one for each
// fraction of a pixel the character starts at (a time uses a handful), made again when the font,
// the colour or the height changes. A change of text of the same shape repaints just the cells
// whose character changed: Qt paints the face under them, and the pictures go over it. A text
// with other characters is drawn as any label draws it.
//
// The label's text stays the truth: what Qt paints comes from it, whenever and for whatever
// reason Qt paints (a new skin, the window shown again), and the window's outline, made from what
// the window shows, follows it as it follows any label.
#include <QImage>
#include <QLabel>
#include <map>
#include <utility>
#include <vector>

class TTimeFace : public QLabel {
    Q_OBJECT
public:
    explicit TTimeFace(QWidget* parent = nullptr);

    // A change of a label's text made while this lives: where the label is a time face and the
    // new text has the old one's shape, only the changed characters' cells are repainted;
    // otherwise the label repaints as it always does.
    class Change {
    public:
        explicit Change(QLabel* label);
        ~Change();
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        TTimeFace* face_ = nullptr;
        QString before_;
    };

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Drops what was drawn with the font and colour until now.
    void Forget();
    // Whether the text is drawn from the characters' pictures: its characters all have one, and
    // the label lays its text out plainly from its left edge.
    bool Composed(const QString& text) const;
    // Where each character of the text starts, and where the text ends.
    std::vector<qreal> Starts(const QString& text);
    qreal Advance(QChar c);
    // The cells that differ between two texts of the same shape, or the whole label.
    QRegion Changed(const QString& before, const QString& after);
    QRect Cell(qreal start, QChar c);
    const QImage& Picture(QChar c, qreal start);

    int pad_ = 0;  // columns beside a character's advance that its ink may reach
    std::map<QChar, qreal> advances_;
    std::map<std::pair<QChar, int>, QImage> pictures_;  // by character and 64ths of a pixel
};
