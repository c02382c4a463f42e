#pragma once
// TForm3: the loop-count window. LoopCount (-1 = endless, 0 .. 99) is read live by the main
// window's timers; its value reaches Settings.LoopTimes, and switches LoopSwitch, when the
// window is closed. At quit an open window's value is kept too, LoopSwitch aside.
#include "TSideWindow.h"

class QLabel;
class QLineEdit;
class QSpinBox;

class TForm3 : public TSideWindow<QWidget> {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    void FormClose() override;
    // Quit: the count the open window shows into Settings.LoopTimes.
    void StoreAtQuit();

    QLabel* Label1 = nullptr;
    // The up-down with its number: Edit1 is the spin box's own edit field.
    QSpinBox* LoopCount = nullptr;
    QLineEdit* Edit1 = nullptr;

protected:
    void PlaceAndRestore() override;
};

extern TForm3* Form3;
