#pragma once
// TForm3: the loop-count window. LoopCount (-1 = endless, 0 .. 99) is read live by the main
// window's timers; its value reaches Settings.LoopTimes, and switches LoopSwitch, only when
// the window is closed.
#include <QWidget>
#include <memory>

namespace Ui {
class TForm3;
}
class QLabel;
class QLineEdit;
class QSpinBox;

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    void FormCreate();
    void FormShow();
    void FormClose();

    QLabel* Label1 = nullptr;
    // The up-down with its number: Edit1 is the spin box's own edit field.
    QSpinBox* LoopCount = nullptr;
    QLineEdit* Edit1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void PlaceAndRestore();

    std::unique_ptr<Ui::TForm3> ui;
};

extern TForm3* Form3;
