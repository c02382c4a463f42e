#include "TPlaylist.h"

#include "DisplayText.h"

#include <QItemSelectionModel>
#include <QListWidget>
#include <algorithm>
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
// With several rows highlighted a plain setCurrentRow would keep the others; here the row is
// the one highlight.
void SetRow(QListWidget* list, int row)
{
    if (row < 0 || row >= list->count()) {
        list->setCurrentRow(-1);
        list->clearSelection();
    } else {
        list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
}

// Puts list's items in order (place i gets the item at order[i]); its current and highlighted
// items go along with them.
void Rearrange(QListWidget* list, const std::vector<int>& order)
{
    QListWidgetItem* const current = list->currentItem();
    const bool currentHighlighted = current != nullptr && current->isSelected();
    const QList<QListWidgetItem*> highlighted = list->selectedItems();
    std::vector<QListWidgetItem*> items;
    items.reserve(order.size());
    for (int i = 0; i < list->count(); ++i)
        items.push_back(list->item(i));
    SetRow(list, -1);
    while (list->count() > 0)
        list->takeItem(list->count() - 1);
    for (const int from : order)
        list->addItem(items[static_cast<size_t>(from)]);
    if (current != nullptr)
        list->setCurrentItem(current, currentHighlighted ? QItemSelectionModel::ClearAndSelect
                                                         : QItemSelectionModel::Clear);
    for (QListWidgetItem* item : highlighted)
        item->setSelected(true);
}

bool IsOrderOf(const std::vector<int>& order, int count)
{
    if (order.size() != static_cast<size_t>(count))
        return false;
    std::vector<bool> seen(order.size(), false);
    for (const int i : order) {
        if (i < 0 || i >= count || seen[static_cast<size_t>(i)])
            return false;
        seen[static_cast<size_t>(i)] = true;
    }
    return true;
}
}

TPlaylist::TPlaylist(QListWidget* paths, QListWidget* names) : paths_(paths), names_(names)
{
    if (!paths_ || !names_)
        throw std::invalid_argument("TPlaylist needs both lists");
    // A drag inside ListBox1 moves its rows through the model; our own changes take and insert
    // items instead, so only the user's drags arrive here.
    moved_ = QObject::connect(names_->model(), &QAbstractItemModel::rowsMoved, names_,
                              [this](const QModelIndex&, int first, int last, const QModelIndex&, int destination) {
                                  FollowMovedNames(first, last, destination);
                              });
}

TPlaylist::~TPlaylist()
{
    QObject::disconnect(moved_);
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

void TPlaylist::Reorder(const std::vector<int>& order)
{
    if (!IsOrderOf(order, Count()))
        return;
    Rearrange(paths_, order);
    Rearrange(names_, order);
}

std::vector<int> TPlaylist::StepOrder(int count, const std::vector<int>& rows, int step)
{
    std::vector<int> order(static_cast<size_t>(std::max(count, 0)));
    std::vector<char> moving(order.size(), 0);
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    for (const int r : rows)
        if (r >= 0 && r < count)
            moving[static_cast<size_t>(r)] = 1;
    // Each moving row trades places with the still row beside it; a row whose neighbour moves
    // too goes along as part of the block.
    const auto trade = [&](size_t a, size_t b) {
        if (moving[a] && !moving[b]) {
            std::swap(order[a], order[b]);
            std::swap(moving[a], moving[b]);
        }
    };
    if (step < 0) {
        for (size_t i = 1; i < order.size(); ++i)
            trade(i, i - 1);
    } else {
        for (size_t i = order.size(); i-- > 1;)
            trade(i - 1, i);
    }
    return order;
}

void TPlaylist::FollowMovedNames(int first, int last, int destination)
{
    const int n = paths_->count();
    if (first < 0 || last < first || last >= n || destination < 0 || destination > n)
        return;
    std::vector<int> order;
    order.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        if (i < first || i > last)
            order.push_back(i);
    const int at = destination > last ? destination - (last - first + 1) : std::min(destination, first);
    for (int i = last; i >= first; --i)
        order.insert(order.begin() + at, i);
    Rearrange(paths_, order);
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
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> TPlaylist::SelectedRows() const
{
    std::vector<int> rows;
    for (const QListWidgetItem* item : names_->selectedItems())
        rows.push_back(names_->row(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TPlaylist::Highlight(const std::vector<int>& rows)
{
    SetRow(names_, rows.empty() ? -1 : rows.front());
    for (const int r : rows)
        if (QListWidgetItem* item = names_->item(r))
            item->setSelected(true);
}

namespace {
constexpr int PlayingRole = Qt::UserRole + 1;
}

void TPlaylist::MarkPlaying(int index)
{
    const int was = Playing();
    if (was == index)
        return;
    if (was >= 0) {
        paths_->item(was)->setData(PlayingRole, QVariant());
        QListWidgetItem* name = names_->item(was);
        QFont plain = name->font();
        plain.setBold(false);
        name->setFont(plain);
    }
    if (index < 0 || index >= Count())
        return;
    paths_->item(index)->setData(PlayingRole, true);
    QListWidgetItem* name = names_->item(index);
    QFont bold = names_->font();
    bold.setBold(true);
    name->setFont(bold);
}

int TPlaylist::Playing() const
{
    for (int i = 0; i < paths_->count(); ++i)
        if (paths_->item(i)->data(PlayingRole).toBool())
            return i;
    return -1;
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
