#pragma once
// The main window's keys while it has focus: Space pauses or resumes, Left and Right go five
// seconds back or forward. Each goes through the handler of the button that does the same, so
// a key and a click can never differ.
#include <QObject>

class TForm1;

class TMainWindowKeys : public QObject {
    Q_OBJECT
public:
    // Watches the form's key presses; owned by the form.
    explicit TMainWindowKeys(TForm1* form);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TForm1* form_;
};
