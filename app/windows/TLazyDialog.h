#pragma once
// A window's file dialog, made the first time it is used. Building a Qt file dialog takes some
// 15 ms, with a folder model and a thread of its own; made at start-up, the four of them held
// back the first sound by a third, for dialogs most sessions never open. Once made, it stays,
// and keeps the folder and size it was left with.
#include <QFileDialog>
#include <QPointer>
#include <functional>

class TLazyDialog {
public:
    TLazyDialog() = default;
    TLazyDialog(const TLazyDialog&) = delete;
    TLazyDialog& operator=(const TLazyDialog&) = delete;

    // How the dialog is made; it belongs to the parent the maker gives it.
    void MadeBy(std::function<QFileDialog*()> make);

    QFileDialog* get();
    QFileDialog* operator->() { return get(); }
    operator QFileDialog*() { return get(); }

private:
    std::function<QFileDialog*()> make_;
    QPointer<QFileDialog> dialog_;
};
