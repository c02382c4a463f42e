#pragma once
// TWindowShape: the main window's outline on the display. Two kinds of pixel are see-through:
// every pixel of the face in the face's key colour (its top-left pixel's), and every pure black
// pixel of what the window shows (the face, the button glyphs, the label texts), black being the
// window's transparent colour.
//
// On an X display the outline goes to the server as a one-bit picture, whatever its
// complexity: a face that alternates pixel by pixel with the key colour would, as a list of
// rectangles, be larger than the server accepts and end the connection. Elsewhere (the offscreen
// platform of the tests) it is the widget's mask, refused when it would be unreasonably complex.
//
// Black can appear and disappear while the program runs only where black text is drawn or black
// face pixels lie under a text or a button. Only then does the shape follow the window's content,
// recomputed after a paint of such a part whose content changed; otherwise it is made once per
// skin and costs nothing afterwards.
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

class TWindowShape : public QObject {
public:
    explicit TWindowShape(QWidget* window);

    // The outline for this face and the window as drawn now, given to the display. The parts
    // (labels, buttons) whose content may change black pixels are watched. Throws
    // ERangeError, before anything changes, when the display could not take the outline.
    void Build(const QImage& face, const std::vector<QWidget*>& parts);
    // The whole window shown, nothing watched.
    void Clear();
    // Called when the window has moved to a screen of another scale, before the outline is made
    // anew for it: what is drawn at the scale follows first.
    void OnScreenChange(std::function<void()> redraw) { screenRedraw_ = std::move(redraw); }

    // The outline last made, in the window's device pixels: 1 where the window is shown, 0
    // where it is see-through.
    const QImage& Outline() const { return outline_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QImage MakeOutline() const;
    // The outline made again from what the window shows now, and given to the X server.
    void RemakeOutline();
    void Apply();
    bool ApplyX11();
    void Watch(const std::vector<QWidget*>& parts);
    void Unwatch();
    void FollowScreen();
    static QString ContentKey(const QWidget* part);

    QWidget* window_;
    QImage face_;
    QImage outline_;
    bool nativeShape_ = false;
    QPointer<QObject> followed_;  // the native window whose screen changes are followed
    std::function<void()> screenRedraw_;
    bool rebuildPending_ = false;
    struct Watched {
        QWidget* Part;
        QString Key;
    };
    std::vector<Watched> watched_;
};
