#pragma once
// TForm4: the volume window. VolumeBar runs 0 .. 10000 and reaches the stream player as
// position - 10000 hundredths of a decibel (10000 full, 0 silent); every change is kept in
// Settings.VolumeLevel.
#include <QWidget>
#include <memory>

namespace Ui {
class TForm4;
}
class QLabel;
class QScrollBar;

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    void FormCreate();
    void FormShow();
    void FormClose();
    void VolumeBarChange();

    QScrollBar* VolumeBar = nullptr;
    QLabel* Label1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void PlaceAndRestore();

    std::unique_ptr<Ui::TForm4> ui;
};

extern TForm4* Form4;
