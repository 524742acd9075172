// The loopback stub of the hosted services as a program of its own, for tests that drive the real
// application: it listens on 127.0.0.1 with a free port, prints its base URL as the first line of
// its output, and serves every hosted route with its contract.
//
//   orvel_hosted_stub [--script FILE] [--local-service]
//
// FILE holds a JSON array of reply descriptions, queued at start (see ScriptedReply::fromJson).
// --local-service answers every route by itself with local samples (see local_service.h): the
// stand-in that `scripts/run --local-service` starts.
// While it runs, POST /stub/replies queues more, GET /stub/requests lists what arrived and
// GET /stub/violations what broke a contract (each violation is also printed to standard error).
// It runs until it is terminated.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

#include "tests/support/hosted_stub.h"
#include "tests/support/local_service.h"

using testsupport::HostedStub;
using testsupport::ScriptedReply;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Loopback stub of the hosted services"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("script"), QStringLiteral("Replies to queue at start (a JSON array)."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("local-service"), QStringLiteral("Answer every route with local samples.")});
    parser.process(app);

    HostedStub stub;
    stub.expectHostedRoutes();
    stub.enableControlRoutes();
    if (parser.isSet(QStringLiteral("local-service"))) testsupport::serveLocalSamples(stub);
    QObject::connect(&stub, &HostedStub::violationRecorded, [](const QString& problem) {
        std::fprintf(stderr, "orvel_hosted_stub: %s\n", problem.toLocal8Bit().constData());
    });

    if (parser.isSet(QStringLiteral("script"))) {
        QFile file(parser.value(QStringLiteral("script")));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "orvel_hosted_stub: cannot read %s\n", file.fileName().toLocal8Bit().constData());
            return 2;
        }
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (!document.isArray()) {
            std::fprintf(stderr, "orvel_hosted_stub: the script is not a JSON array\n");
            return 2;
        }
        for (const QJsonValue& description : document.array()) {
            ScriptedReply reply;
            QString error;
            const QByteArray path = ScriptedReply::fromJson(description.toObject(), reply, error);
            if (path.isEmpty()) {
                std::fprintf(stderr, "orvel_hosted_stub: %s\n", error.toLocal8Bit().constData());
                return 2;
            }
            stub.enqueue(path, reply);
        }
    }

    std::printf("%s\n", stub.baseUrl().toString().toUtf8().constData());
    std::fflush(stdout);
    return app.exec();
}
