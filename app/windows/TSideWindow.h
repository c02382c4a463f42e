#pragma once
// TSideWindow: what the playlist, loop-count and volume windows share. Each is a tool window
// with only a close button whose visibility the settings record keeps: it opens at start-up
// as the record says, showing it sets its flag and closing it clears the flag. A show that
// comes from the window system (a desktop switch, a restore) is not the program's and changes
// nothing. Base is the Qt window class the window is made of.
#include "PlayerSettings.h"

#include <QMainWindow>
#include <QWidget>
#include <cstdint>
#include <functional>

class QCloseEvent;
class QShowEvent;

template <class Base>
class TSideWindow : public Base {
public:
    // The record's field that keeps whether the window is open.
    using ShownFlag = uint8_t TPlayerSettings::*;

    TSideWindow(QWidget* parent, ShownFlag shown);
    ~TSideWindow() override;

    // Start-up: placed and restored, then shown or hidden as the record says.
    virtual void FormCreate();
    // Shown by the program: placed and restored again, the flag set. Closed: the flag cleared.
    virtual void FormShow();
    virtual void FormClose();
    // Open as far as the listener knows: on screen, or put away with the main window in the
    // notification area and coming back with it.
    bool IsOpen() const;
    // Beside the main window: below it, or to its right, left or above where there is room;
    // wholly on a screen and over none of our shown windows.
    void PlaceBesideMain();
    // Where it is, unless it lies over another of our shown windows or off the screens: then at
    // the nearest place that does neither.
    void Settle();

protected:
    // The global the other windows reach this one by (the first step of a constructor): it
    // names the window until the window dies, unless another has taken the name meanwhile.
    template <class Window>
    void NameGlobally(Window*& name)
    {
        Window* self = static_cast<Window*>(this);
        name = self;
        forgetName_ = [&name, self] {
            if (name == self)
                name = nullptr;
        };
    }
    // The constructor's first steps: the window named globally, then its window definition
    // set up on it. Returns the definition's controls.
    template <class Ui, class Window>
    Ui SetUpNamed(Window*& name)
    {
        NameGlobally(name);
        Ui ui;
        ui.setupUi(static_cast<Window*>(this));
        return ui;
    }
    // Where the window opens and the value it shows, taken afresh each time the program shows
    // it; by default it stays where it was, settled off our other windows.
    virtual void PlaceAndRestore() { Settle(); }
    // Made a tool window with a title bar and only a close button; with a size, its text in
    // the program's Gothic face of that many pixels.
    void MakeToolWindow(int facePixels = 0);
    // FormCreate's last step: shown or hidden as the record says.
    void ShowAsRecorded();
    // A small window: right of the main window level with its top, or under another small
    // window shown there, or on another side of the main window; over none of ours.
    void MoveBesideMain();

    // Placed before it is shown: a window moved once it is being shown opened a frame's breadth
    // off its place under a window manager.
    void setVisible(bool visible) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    ShownFlag shown_;
    std::function<void()> forgetName_;
};

extern template class TSideWindow<QWidget>;
extern template class TSideWindow<QMainWindow>;
