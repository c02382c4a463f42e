#include "TLazyDialog.h"

#include <utility>

void TLazyDialog::MadeBy(std::function<QFileDialog*()> make)
{
    make_ = std::move(make);
}

QFileDialog* TLazyDialog::get()
{
    if (dialog_.isNull() && make_)
        dialog_ = make_();
    return dialog_;
}
