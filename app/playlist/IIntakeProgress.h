#pragma once
// Where the intake shows how far it got through the names it takes in (the loading window's
// bar in the program). Each call does nothing when there is nothing to show it on.
class IIntakeProgress {
public:
    // Shown, with its maximum set, for the length of an adding loop.
    virtual void Show(int maximum) = 0;
    virtual void Hide() = 0;
    virtual void SetMaximum(int maximum) = 0;
    virtual void Step(int position) = 0;

protected:
    ~IIntakeProgress() = default;
};
