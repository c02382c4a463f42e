#include "TLoadingProgress.h"

#include "Unit5.h"

void TLoadingProgress::Show(int maximum)
{
    if (!Form5)
        return;
    TForm5::SetMaximum(Form5->LoadingBar, maximum);
    Form5->ShowLoading();
}

void TLoadingProgress::Hide()
{
    if (Form5)
        Form5->HideLoading();
}

void TLoadingProgress::SetMaximum(int maximum)
{
    if (Form5)
        TForm5::SetMaximum(Form5->LoadingBar, maximum);
}

void TLoadingProgress::Step(int position)
{
    TForm5::StepBar(&TForm5::LoadingBar, position);
}
