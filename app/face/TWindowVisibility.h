#pragma once
// TWindowVisibility: tells when a top-level window is wholly covered by other windows on an X
// display. Qt reports a window unmapped or minimised, but not one that other windows cover
// completely; the X server does, with visibility notices, which it sends only to a client that
// asks for them on that window. Elsewhere (the offscreen platform, a compositing manager, which
// leaves every window unobscured) nothing is ever reported covered.
#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

class QWidget;

class TWindowVisibility : public QAbstractNativeEventFilter {
public:
    // changed(covered) is called whenever the window becomes wholly covered or partly seen again.
    explicit TWindowVisibility(std::function<void(bool)> changed);
    ~TWindowVisibility() override;
    TWindowVisibility(const TWindowVisibility&) = delete;
    TWindowVisibility& operator=(const TWindowVisibility&) = delete;

    // Asks the X server for the window's visibility notices; the window must have its native
    // window. Does nothing on other platforms.
    void Watch(QWidget* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void(bool)> changed_;
    uint32_t window_ = 0;
};
