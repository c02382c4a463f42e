#pragma once
// TForm4: the volume window. VolumeBar runs 0 .. 10000 and reaches the stream player as
// position - 10000 hundredths of a decibel (10000 full, 0 silent); every change is kept in
// Settings.VolumeLevel. The bar takes keyboard focus; an arrow key or a wheel notch moves it by
// one decibel (100).
#include "TSideWindow.h"

class QLabel;
class QScrollBar;

class TForm4 : public TSideWindow<QWidget> {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    void VolumeBarChange();
    // Quit: the level the open window shows into Settings.VolumeLevel (a stored level outside
    // the bar is shown at the bar's nearer end).
    void StoreAtQuit();

    QScrollBar* VolumeBar = nullptr;
    QLabel* Label1 = nullptr;

    bool eventFilter(QObject* watched, QEvent* event) override;
    // The wheel turned by angleDelta (eighths of a degree), over the bar or the main window's
    // face: a notch is one step, up raises the volume.
    void TurnWheel(const QPoint& angleDelta);
    // The bar moved by steps of one decibel (up when positive), within its range.
    void StepVolume(int steps);

protected:
    void PlaceAndRestore() override;

private:
    int wheelDelta_ = 0;  // eighths of a degree not yet a whole notch
};

extern TForm4* Form4;
