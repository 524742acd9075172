#pragma once

// A selection controller that records what it is asked and holds its switch and trust as the
// test sets them.

#include <QStringList>

#include "app/shell/selection_controller.h"
#include "platform/selection_service_provider.h"

namespace storetest {

class FakeSelectionController : public velquin::SelectionController {
public:
    QStringList calls;
    QList<halvern::SelectionRequest> requests;  // of receiveServiceSelection
    bool presenting = false;
    bool enabled = false;
    bool trusted = false;

    void start() override { calls.append(QStringLiteral("start")); }
    void stop() override { calls.append(QStringLiteral("stop")); }
    void refreshAuthorization() override { calls.append(QStringLiteral("refresh")); }
    void handleReopen() override { calls.append(QStringLiteral("reopen")); }
    void openDirectSettings() override { calls.append(QStringLiteral("directSettings")); }
    void receiveServiceSelection(const halvern::SelectionRequest& request) override {
        calls.append(QStringLiteral("service ") + request.text);
        requests.append(request);
    }
    void receiveSelectionRefusal(const halvern::RefusedSelection& refused) override {
        calls.append(QStringLiteral("refused ") + halvern::rawValue(refused.refusal) + u' ' +
                     base::rawValue(refused.mode));
    }
    bool hasSelectionPresentation() const override { return presenting; }
    bool isEnabled() const override { return enabled; }
    bool authorizationTrusted() const override { return trusted; }
    void setEnabled(bool value) override {
        calls.append(value ? QStringLiteral("enable on") : QStringLiteral("enable off"));
        if (value == enabled) return;
        enabled = value;
        emit isEnabledChanged(value);
    }
    void setTrusted(bool value) {
        if (value == trusted) return;
        trusted = value;
        emit authorizationTrustedChanged(value);
    }
};

}  // namespace storetest
