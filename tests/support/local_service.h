#pragma once

#include <QJsonObject>

namespace testsupport {

class HostedStub;

// Turns the stub into a stand-in of the hosted services for trying the program without them
// (scripts/run --local-service). Every route answers by itself, after the same contract checks
// as in the tests:
// - e-mail sign-in takes any e-mail and password; the session token names the account, so the
//   account still reads back after the stand-in restarts; the e-mail counts as verified;
// - Google sign-in runs its whole flow here (the authorization page answers at once);
// - study answers and tutor replies are fixed samples in the request's language whose first line
//   says that they are local samples; tutor replies keep the tutor's reply contract (the kind of
//   the mode, a new question every time, a grade).
void serveLocalSamples(HostedStub& stub);

// The reply body of one answer request (study or tutor); `sequence` numbers the requests from 1.
QJsonObject localSampleAnswer(const QJsonObject& request, int sequence);

}  // namespace testsupport
