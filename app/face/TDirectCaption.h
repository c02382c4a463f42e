#pragma once
// TDirectCaption: a face label whose text changes often (the time, ten times a second; the
// scrolled title, once a second) drawn straight into the window's backing store and handed to the
// display for just its rectangle: on an X display put to the window directly, since Qt's flush
// first waits for the server to finish reading the last picture; elsewhere through Qt's flush.
//
// Through Qt's repaint each change is an update request, a walk over the window's widgets, a paint
// of the face under the label and of the label, text layout, and a flush. Ten times a second, with
// the processor's caches cold from the decoder in between, that cost about 0.4 ms a change: the
// player used twice the processor time of its engine alone. Here a change usually touches no text
// layout at all. Qt draws each character once at its place (the label rendering itself over a
// picture of what lies under it), and a short text such as the time is then put together from
// those drawings: the picture of its first characters, with the columns of the next character
// drawn at the same advance before. A drawing is taken only where it is exact: where it shares no
// column of ink with the characters before it, and once its first use for another text has been
// compared with Qt's own drawing. A long text such as the scrolling title changes everywhere at
// once; the picture of each of its steps is kept instead, for when the scroll comes round again.
//
// The label's text stays the truth. It is set on the label as before, only without the update
// request; a change of the time's tenths alone is drawn ahead of it, and the text follows at the
// next other change (within a second) or before Qt paints the label. Whenever Qt paints the label
// itself (a new skin, a resize, the window shown) the picture under it is taken again, and the
// drawings are dropped when it or the label's look changed. A label is drawn Qt's way instead
// while the window cannot be seen, when a sibling lies on top of it, when the backing store is
// no plain picture of the window, or when the window's outline follows its text (black text cuts
// see-through pixels, and the outline is made from Qt's paints).
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class QLabel;
struct xcb_connection_t;

class TDirectCaption : public QObject {
    Q_OBJECT
public:
    // A change of the label's text (and size) made while this lives: Qt is not asked to repaint
    // for it, and at its end the label is drawn straight to the window, unless it cannot be (or
    // the label moved or resized), when Qt's repaint draws it as always. The label's drawer is
    // made at its first change and belongs to the label.
    class Change {
    public:
        explicit Change(QLabel* label);
        ~Change();
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        TDirectCaption* direct_ = nullptr;  // null: Qt's repaint draws the change
        QRect before_;
    };

    // Draws the label's caption changed to `sjis` without setting it on the label, where the
    // change is in the last character only, leaves the text's width as it is, and is drawn
    // directly. The label's text follows at its next other change, or before Qt paints it.
    // False: nothing was done, and the caption is to be set as always.
    static bool DrawAhead(QLabel* label, const std::string& sjis);

    // For the tests: changes drawn directly, and of those, put together from earlier pictures.
    static int DirectDraws(const QLabel* label);
    static int SplicedDraws(const QLabel* label);
    static int QtDraws(const QLabel* label);
    // For the tests: the width of the last change sent to the display.
    static int SentWidth(const QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    ~TDirectCaption() override;

private:
    explicit TDirectCaption(QLabel* label);
    static TDirectCaption* Of(const QLabel* label);
    qreal Advance(QChar before, QChar c);
    void BuildLevel(size_t length);
    QImage Whole(const QString& text);
    bool CanDraw();
    bool Capture();
    void Forget();
    void ForgetDrawings();
    QImage Rendered(const QString& text);
    QImage Frame(const QString& text);
    bool Draw(const QString& text);
    void PutToX(const QImage& frame, int from, int to);
    void ReleaseX();

    QLabel* label_;
    QImage under_;           // the window under the label, the label's text left out
    QImage drawnOver_;       // the picture under the label that the drawings kept were drawn over
    // How the label lays out its text, beyond its font and colours (whose changes it is told of).
    using Look = std::tuple<int, int, int, int, int, int, int, int, bool>;
    Look drawnWith_{};
    QRect area_;             // where that picture lies, in the window's coordinates
    xcb_connection_t* x_ = nullptr;
    uint32_t xWindow_ = 0;   // the X window the pictures go to directly (0: through Qt's flush)
    uint32_t xGc_ = 0;
    int xDepth_ = 0;
    bool shownToX_ = false;  // a picture was sent there: sent again after an expose
    std::vector<uint32_t> packed_;  // the columns of a picture sent in part
    QPointer<QObject> watchedWindow_;  // the platform window whose exposes are watched
    bool blocked_ = false;   // found since Qt last painted the label: direct drawing is not for it
    bool ownPaint_ = false;  // the paints sent while taking pictures are ours
    int draws_ = 0;
    int spliced_ = 0;
    int rendered_ = 0;
    int sentWidth_ = 0;

    // A short text (the time) is pieced together character by character. Level L is the picture
    // of the text's first L characters; `inkEnd_` is the column from which it is the picture
    // under the label. Kept for the last text, so that a change at its end redraws only the end.
    QString levelsText_;
    std::vector<QImage> levels_;
    std::vector<int> inkEnd_;
    std::vector<qreal> advance_;  // of the level's text
    size_t validLevels_ = 0;  // levels [0, validLevels_] belong to levelsText_

    // A character drawn at an advance: the whole label so drawn, exact from column `From` on.
    // Checked against Qt's own drawing once for another text before it is trusted.
    struct Piece {
        int From = 0;
        QImage Image;
        int InkEnd = 0;
        QString CapturedWith;
        bool Checked = false;
    };
    std::map<std::pair<qreal, QChar>, Piece> pieces_;
    // The advances of single characters and the kerning of pairs, from which a text's advance
    // is summed without laying the text out.
    std::map<QChar, qreal> advances_;
    std::map<QChar, int> widths_;  // whole-pixel advances, as the label is sized by
    std::map<std::pair<QChar, QChar>, qreal> kerning_;
    bool splicing_ = true;   // off for good once a pieced picture was found wrong

    // A long text (the scrolling title) comes round again: its pictures are kept whole.
    std::map<QString, QImage> wholes_;
    qsizetype wholeBytes_ = 0;

    static std::vector<TDirectCaption*> drawers_;  // found by label without a walk over children
};
