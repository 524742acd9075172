#pragma once

#include <memory>

namespace velquin {

// What the account session changes in the main window's study flow when the account changes.
// Main thread only.
class StudyFlowReset {
public:
    virtual ~StudyFlowReset();
    // Drops the text waiting to be handed to the tutor.
    virtual void dropTutorHandoff() = 0;
    // Drops the hand-over text, stops the running request and empties the input and the answer,
    // in that order.
    virtual void reset() = 0;
};

// The main window's central store (AppStore::shared()).
std::shared_ptr<StudyFlowReset> appStoreStudyFlow();

}  // namespace velquin
