// The least a Qt window with a clock on it can cost: a shown label and a 100 ms timer whose
// handler does nothing, the rate of the main window's time display. measure_program.sh runs it
// the way it runs the player and prints its CPU beside `qvtool play`'s, so that the goal for the
// player with its window visible can be read against what any Qt program ticking ten times a
// second already pays on the same machine, in the same run. It runs until it is ended.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel face(QStringLiteral("0:00.0"));
    face.resize(120, 24);
    face.show();
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [] {});
    tick.start();
    return app.exec();
}
