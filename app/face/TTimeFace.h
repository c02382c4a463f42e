#pragma once
// TTimeFace: the time on the main window's face, a label that repaints only the characters that
// changed (a plain label lays its text out and repaints itself and the face under it ten times a
// second). Qt draws each character once in the label's font and colour (once for each fraction of a
// pixel it starts at: a time uses a handful), and a change of the same shape repaints only the
// changed cells, over the window under the label as Qt last painted it there. Whenever Qt paints
// the label for reasons of its own (a new skin, the window exposed, a resize) it paints it as any
// label, and what lies under it is taken again at the next change. The label's text stays the
// truth, and the window's outline follows its paints as it follows any label's.
#include <QImage>
#include <QLabel>
#include <QRegion>
#include <map>
#include <utility>
#include <vector>

class TTimeFace : public QLabel {
    Q_OBJECT
public:
    explicit TTimeFace(QWidget* parent = nullptr);

    // A change of a label's text made while this lives: on a time face, a text of the old one's
    // shape repaints only the changed cells; any other label repaints as it always does.
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

private:
    void Forget();  // drops what was drawn in the font and colour until now
    // Whether the text is drawn from the pictures: a time, laid out plainly from the left edge.
    bool Composed(const QString& text) const;
    std::vector<qreal> Starts(const QString& text);  // where each character starts, and the end
    qreal Advance(QChar c);
    QRect Cell(qreal start, QChar c);
    const QImage& Picture(QChar c, qreal start);
    QRegion Changed(const QString& before, const QString& after);  // the cells, or all of it
    void RepaintCells(const QRegion& cells);
    bool TakeUnder();  // the window under the label as Qt paints it, where that is a plain picture

    int pad_ = 0;  // columns beside a character's advance that its ink may reach
    int height_ = 0;  // the label's height the pictures were drawn for (centred in it)
    std::map<QChar, qreal> advances_;
    std::map<std::pair<QChar, int>, QImage> pictures_;  // by character and 64ths of a pixel
    QImage under_;         // the window under the label, the label left out
    QRegion own_;          // the cells being repainted over it
    bool taking_ = false;  // the label paints nothing while the window under it is taken
};
