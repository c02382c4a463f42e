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
// layout at all: the label is drawn once per text by Qt itself (the label rendering itself over a
// picture of what lies under it), and a text that differs from the last only in its last
// character (the tenths of the time) is put together from pictures already drawn: the columns of
// the text before that character, and the columns of that character drawn at the same place
// before. Each piece is taken only where it is exact: where the two do not share a column of ink.
//
// The label's text stays the truth: it is set on the label as before, only without the update
// request, and whenever Qt paints the label itself (a new skin, a resize, the window shown) the
// pictures are dropped and taken again. A label is drawn Qt's way instead while the window cannot
// be seen, when a sibling lies on top of it, when the backing store is no plain picture of the
// window, or when the window's outline follows its text (black text cuts see-through pixels, and
// the outline is made from Qt's paints).
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

class QLabel;

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

    // For the tests: changes drawn directly, and of those, put together from earlier pictures.
    static int DirectDraws(const QLabel* label);
    static int SplicedDraws(const QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    ~TDirectCaption() override;

private:
    explicit TDirectCaption(QLabel* label);
    static TDirectCaption* Of(const QLabel* label);
    std::tuple<qreal, QChar, QChar> TailKey(const QString& text) const;
    void SetPrefixImage(QImage image);
    bool CanDraw();
    bool Capture();
    void Forget();
    QImage Rendered(const QString& text);
    QImage Frame();
    void Draw();
    void PutToX(const QImage& frame);

    QLabel* label_;
    QImage under_;           // the window under the label, the label's text left out
    QRect area_;             // where that picture lies, in the window's coordinates
    uint32_t xWindow_ = 0;   // the X window the pictures go to directly (0: through Qt's flush)
    int xDepth_ = 0;
    QImage shown_;           // the last picture sent there, sent again after an expose
    QPointer<QObject> watchedWindow_;  // the platform window whose exposes are watched
    bool blocked_ = false;   // found since Qt last painted the label: direct drawing is not for it
    bool ownPaint_ = false;  // the paints sent while taking pictures are ours
    int draws_ = 0;
    int spliced_ = 0;

    // The text but its last character, drawn, and the column from which it is the picture under it.
    QString prefix_;
    QImage prefixImage_;
    int prefixEnd_ = 0;
    qreal prefixAdvance_ = 0;
    // A last character drawn after a text of this advance ending in this character: the whole
    // label so drawn, exact from column `From` on. Checked against Qt's own drawing once for
    // another text before it is trusted.
    struct Tail {
        int From = 0;
        QImage Image;
        QString CapturedWith;
        bool Checked = false;
    };
    std::map<std::tuple<qreal, QChar, QChar>, Tail> tails_;
    bool splicing_ = true;   // off for good once a spliced picture was found wrong

    static std::vector<TDirectCaption*> drawers_;  // found by label without a walk over children
};
