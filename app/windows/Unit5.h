#pragma once
// TForm5: the loading window. Two thin progress bars under the main window while files are
// taken in: LoadingBar counts the names being taken, LoadingBar2 the lines of one .m3u file.
// Its creation, the last of the five windows, takes in the command line.
#include <QWidget>

class QProgressBar;

class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
    ~TForm5() override;

    void FormCreate();
    void FormShow();

    // For the drivers of the bars: set a bar's maximum; show the window and let it paint
    // before a long loop; set a position and paint the bar at once (the loop gives the event
    // loop no other chance); hide the window after the loop.
    static void SetMaximum(QProgressBar* bar, int maximum);
    void ShowLoading();
    static void Step(QProgressBar* bar, int position);
    void HideLoading();

    // The loading window shown for the length of an adding loop, with the bar's maximum set;
    // hidden when the loop ends, also when an error ends it. Does nothing without the window.
    class TShown {
    public:
        TShown(QProgressBar* TForm5::*bar, int maximum);
        ~TShown();
        TShown(const TShown&) = delete;
        TShown& operator=(const TShown&) = delete;
    };
    // Sets the position of one of the window's bars, when the window exists.
    static void StepBar(QProgressBar* TForm5::*bar, int position);

    QProgressBar* LoadingBar = nullptr;
    QProgressBar* LoadingBar2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

extern TForm5* Form5;
