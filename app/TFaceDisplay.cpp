#include "TFaceDisplay.h"

#include "CaptionText.h"
#include "DisplayText.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>

TFaceDisplay::TFaceDisplay(QWidget* window, QTimer* timeTimer, std::function<void()> tick)
    : QObject(window), window_(window), timer_(timeTimer), tick_(std::move(tick))
{
    window_->installEventFilter(this);
}

bool TFaceDisplay::FaceSeen() const
{
    return window_->isVisible() && !(window_->windowState() & Qt::WindowMinimized) && exposed_;
}

void TFaceDisplay::SetCaption(QLabel* label, const std::string& sjis)
{
    // The bytes are compared, not the converted text: the conversion is the dearer part.
    if (DisplayText::LabelCaption(label) != sjis)
        DisplayText::SetLabelCaption(label, sjis);
}

void TFaceDisplay::ScrollCaption(QLabel* label)
{
    const std::string caption = DisplayText::LabelCaption(label);
    if (!caption.empty())
        DisplayText::SetLabelCaption(label, CaptionText::ScrollCaption(caption));
}

bool TFaceDisplay::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        // The platform window exists once the widget is shown; its exposure is told to it alone.
        if (!watchingWindow_ && watched == window_ && window_->windowHandle() != nullptr) {
            window_->windowHandle()->installEventFilter(this);
            watchingWindow_ = true;
        }
        Follow();
        break;
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        Follow();
        break;
    case QEvent::Expose:
        // Told to the platform window alone: mapped or not, covered by nothing or wholly.
        if (auto* native = qobject_cast<QWindow*>(watched)) {
            exposed_ = native->isExposed();
            Follow();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TFaceDisplay::Follow()
{
    if (!FaceSeen()) {
        if (timer_->isActive()) {
            timer_->stop();
            rested_ = true;
        }
        return;
    }
    if (!rested_)
        return;
    rested_ = false;
    timer_->start();
    if (tick_)
        tick_();
}
