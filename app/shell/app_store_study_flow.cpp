#include "app/shell/app_store_study_flow.h"

#include "app/shell/app_store.h"

namespace velquin {

namespace {

class AppStoreStudyFlow : public StudyFlowReset {
public:
    void dropTutorHandoff() override { AppStore::shared().setTutorHandoffSource(std::nullopt); }
    void reset() override {
        AppStore& store = AppStore::shared();
        store.setTutorHandoffSource(std::nullopt);
        store.cancel();
        store.clear();
    }
};

}  // namespace

std::shared_ptr<StudyFlowReset> appStoreStudyFlow() { return std::make_shared<AppStoreStudyFlow>(); }

}  // namespace velquin
