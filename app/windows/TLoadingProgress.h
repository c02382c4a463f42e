#pragma once
// The intake's progress on the loading window's first bar (TForm5::LoadingBar). The loading
// window is made after the playlist window and may be gone before it, so it is looked for at
// each call; without it nothing is shown.
#include "IIntakeProgress.h"

class TLoadingProgress : public IIntakeProgress {
public:
    void Show(int maximum) override;
    void Hide() override;
    void SetMaximum(int maximum) override;
    void Step(int position) override;
};
