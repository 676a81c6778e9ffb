#pragma once

// What ProgressBar1 shows, as the workers' changes arrive on the UI thread:
// a maximum and a position kept inside 0..maximum. A toolkit's bar draws an
// empty range as busy, so the range it is given is never empty.

namespace upgradeui {

class ProgressModel {
public:
    // Each returns the position to show after the change.
    int SetMaximum(int maximum);   // a negative maximum counts as 0
    int SetPosition(int position); // clamped to 0..maximum
    // One step from the position shown now, not from when the change was made,
    // so a run of advances counts up from whatever earlier changes left.
    int Advance();

    int Position() const { return position_; }
    // The range's upper end to give the toolkit's bar: at least 1.
    int RangeMaximum() const { return maximum_ > 0 ? maximum_ : 1; }

private:
    int maximum_ = 0;
    int position_ = 0;
};

} // namespace upgradeui
