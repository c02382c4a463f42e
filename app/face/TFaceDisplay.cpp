#include "TFaceDisplay.h"

#include "CaptionText.h"
#include "DisplayText.h"
#include "TTimeFace.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>

TFaceDisplay::TFaceDisplay(QWidget* window, QTimer* timeTimer, std::function<void()> tick)
    : QObject(window), window_(window), timer_(timeTimer), tick_(std::move(tick)), visibility_([this](bool covered) {
          covered_ = covered;
          Follow();
      })
{
    window_->installEventFilter(this);
}

bool TFaceDisplay::FaceSeen() const
{
    return window_->isVisible() && !(window_->windowState() & Qt::WindowMinimized) && exposed_ && !covered_;
}

void TFaceDisplay::SetCaption(QLabel* label, const std::string& sjis)
{
    // The bytes are compared, not the converted text: the conversion is the dearer part.
    if (DisplayText::LabelCaption(label) == sjis)
        return;
    {
        // The time's face repaints just the characters that changed. The label is sized after,
        // with its updates on again, so that Qt repaints what a resize uncovers.
        const TTimeFace::Change change(label);
        DisplayText::SetLabelCaption(label, sjis, false);
    }
    FitToText(label);
}

void TFaceDisplay::FitToText(QLabel* label)
{
    // Sizing a label to its text lays the text out, as much work as drawing it. The sum of the
    // characters' advances comes from the font's cache instead; while it lies within a few pixels
    // below the label's width (a time whose digits changed, a title scrolled), the label keeps
    // its size: its text sits at its left edge and draws the same, and the label never reaches
    // far beyond its text over the face's other parts.
    constexpr int Slack = 4;
    const QFontMetrics metrics = label->fontMetrics();
    int advance = 0;
    for (const QChar c : label->text())
        advance += metrics.horizontalAdvance(c);
    // A text wider than the label may grow (a title cut at its panel's edge) fills it already.
    const bool full = label->width() == label->maximumWidth() && advance >= label->width();
    if (DisplayText::FittedHeight(label) == label->height() &&
        (full || (advance <= label->width() && advance + Slack >= label->width())))
        return;
    label->adjustSize();
    if (label->width() < advance)
        label->resize(advance, label->height());
    DisplayText::SetFittedHeight(label, label->height());
}

void TFaceDisplay::ScrollCaption(QLabel* label)
{
    const std::string caption = DisplayText::LabelCaption(label);
    if (caption.empty())
        return;
    DisplayText::SetLabelCaption(label, CaptionText::ScrollCaption(caption), false);
    FitToText(label);
}

bool TFaceDisplay::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        // The platform window exists once the widget is shown; its exposure is told to it alone.
        if (!watchingWindow_ && watched == window_ && window_->windowHandle() != nullptr) {
            window_->windowHandle()->installEventFilter(this);
            watchingWindow_ = true;
            visibility_.Watch(window_);
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
