#include "TPlaylist.h"

#include "DisplayText.h"

#include <QListWidget>
#include <memory>
#include <stdexcept>

namespace {
std::string BytesOf(const QListWidgetItem* item)
{
    if (!item)
        return std::string();
    const QVariant data = item->data(Qt::UserRole);
    if (data.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = data.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    return item->text().toStdString();
}

std::unique_ptr<QListWidgetItem> NewItem(const QString& text, const std::string& bytes)
{
    auto item = std::make_unique<QListWidgetItem>(text);
    item->setData(Qt::UserRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return item;
}

// A list view can move its current row by itself while rows come and go; the playlist's
// selections only ever change when we say so.
void SetRow(QListWidget* list, int row)
{
    if (row < 0 || row >= list->count()) {
        list->setCurrentRow(-1);
        list->clearSelection();
    } else {
        list->setCurrentRow(row);
    }
}
}

TPlaylist::TPlaylist(QListWidget* paths, QListWidget* names) : paths_(paths), names_(names)
{
    if (!paths_ || !names_)
        throw std::invalid_argument("TPlaylist needs both lists");
}

int TPlaylist::Count() const
{
    return paths_->count();
}

void TPlaylist::Add(const std::string& path, const std::string& sjisName)
{
    const int current = Current();
    const int selected = Selected();
    // Both items are built first: if anything fails, neither list has changed.
    auto name = NewItem(SjisToQString(sjisName), sjisName);
    auto file = NewItem(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())), path);
    paths_->addItem(file.release());
    names_->addItem(name.release());
    if (Current() != current)
        SetRow(paths_, current);
    if (Selected() != selected)
        SetRow(names_, selected);
}

void TPlaylist::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    SetRow(paths_, -1);
    SetRow(names_, -1);
    delete paths_->takeItem(index);
    delete names_->takeItem(index);
    SetRow(paths_, -1);
    SetRow(names_, -1);
}

void TPlaylist::Move(int from, int to)
{
    const int n = Count();
    if (from < 0 || from >= n || to < 0 || to >= n)
        return;
    SetRow(paths_, -1);
    SetRow(names_, -1);
    paths_->insertItem(to, paths_->takeItem(from));
    names_->insertItem(to, names_->takeItem(from));
    Select(to);
}

void TPlaylist::Clear()
{
    paths_->clear();
    names_->clear();
}

void TPlaylist::Select(int index)
{
    SetRow(paths_, index);
    SetRow(names_, index);
}

int TPlaylist::Current() const
{
    return paths_->currentRow();
}

int TPlaylist::Selected() const
{
    // The entry the user sees highlighted. Qt's current row can differ from it: a Ctrl+click
    // takes the highlight off and leaves the row current.
    const QList<QListWidgetItem*> items = names_->selectedItems();
    return items.isEmpty() ? -1 : names_->row(items.first());
}

std::string TPlaylist::Path(int index) const
{
    return PathAt(paths_, index);
}

std::string TPlaylist::Name(int index) const
{
    return BytesOf(names_->item(index));
}

std::vector<std::string> TPlaylist::Paths() const
{
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        out.push_back(Path(i));
    return out;
}

std::string TPlaylist::PathAt(const QListWidget* paths, int index)
{
    return BytesOf(paths->item(index));
}
