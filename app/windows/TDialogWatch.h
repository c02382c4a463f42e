#pragma once
// TDialogWatch: a file dialog looks for changes in its folders only while it is open.
//
// A file dialog made once and kept hidden still lists its folder and the folders above it, and
// by default it goes on watching them: every file made or removed there (a busy /tmp, a build
// folder) has it read and sort the whole folder again, all through playback. This filter turns
// the watching off while the dialog is hidden and on again when it is shown.
#include <QObject>

class QFileDialog;

class TDialogWatch : public QObject {
    Q_OBJECT
public:
    // Watches the dialog's shows and hides; owned by the dialog.
    static void WhileShown(QFileDialog* dialog);

    // Whether the dialog watches its folders now (false for a dialog without a folder model).
    static bool Watching(const QFileDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TDialogWatch(QFileDialog* dialog);
};
