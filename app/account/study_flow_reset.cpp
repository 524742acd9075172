#include "app/account/study_flow_reset.h"

namespace velquin {

StudyFlowReset::~StudyFlowReset() = default;

}  // namespace velquin
