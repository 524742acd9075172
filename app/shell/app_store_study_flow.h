#pragma once

#include <memory>

#include "app/account/study_flow_reset.h"

namespace velquin {

// The main window's central store (AppStore::shared()) as the study flow the account session
// resets when the account changes.
std::shared_ptr<StudyFlowReset> appStoreStudyFlow();

}  // namespace velquin
