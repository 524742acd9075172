#pragma once

namespace velquin {

// What the account session changes in the main window's study flow when the account changes; the
// shell gives it the central store's (appStoreStudyFlow()). Main thread only.
class StudyFlowReset {
public:
    virtual ~StudyFlowReset();
    // Drops the text waiting to be handed to the tutor.
    virtual void dropTutorHandoff() = 0;
    // Drops the hand-over text, stops the running request and empties the input and the answer,
    // in that order.
    virtual void reset() = 0;
};

}  // namespace velquin
