#include "TDialogWatch.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>

namespace {
QFileSystemModel* FolderModel(const QFileDialog* dialog)
{
    return dialog->findChild<QFileSystemModel*>();
}

void Watch(const QFileDialog* dialog, bool on)
{
    if (QFileSystemModel* model = FolderModel(dialog))
        model->setOption(QFileSystemModel::DontWatchForChanges, !on);
}
}

TDialogWatch::TDialogWatch(QFileDialog* dialog) : QObject(dialog)
{
    dialog->installEventFilter(this);
    Watch(dialog, dialog->isVisible());
}

void TDialogWatch::WhileShown(QFileDialog* dialog)
{
    if (dialog != nullptr && dialog->findChild<TDialogWatch*>(QString(), Qt::FindDirectChildrenOnly) == nullptr)
        new TDialogWatch(dialog);  // a child of the dialog
}

bool TDialogWatch::Watching(const QFileDialog* dialog)
{
    const QFileSystemModel* model = FolderModel(dialog);
    return model != nullptr && !model->testOption(QFileSystemModel::DontWatchForChanges);
}

bool TDialogWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        Watch(static_cast<QFileDialog*>(watched), event->type() == QEvent::Show);
    return QObject::eventFilter(watched, event);
}
