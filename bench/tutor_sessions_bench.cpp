// The tutor's own work on this machine: the sessions file at its largest (just under the 25 MiB
// limit), written and read whole; and one lesson turn without the network (request, prompt, reply
// check, recording and the save of the sessions file) on a session of 200 turns.
#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_response_recorder.h"
#include "tutor-engine/merid_tutor_orchestrator.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_hosted_prompt.h"
#include "tutor-engine/merid_v12_reply_contract.h"
#include "tutor-engine/teacher_learning_store.h"

using namespace meridcore;

namespace {

// 100,000 characters of mixed Chinese and Latin course text with page labels and headings.
TeacherMaterial courseMaterial(int seed) {
    QString text;
    for (int chapter = 1; text.size() < 99000; ++chapter) {
        text += QStringLiteral("[第 %1 页]\n## 第 %2 章 导数与极限 %3\n").arg(chapter).arg(chapter).arg(seed);
        while (text.size() % 2400 < 2300 && text.size() < 99000)
            text += QStringLiteral("导数描述函数在一点附近的变化率 The derivative is a limit of difference quotients. ");
        text += u'\n';
    }
    return TeacherMaterial(QStringLiteral("微积分讲义 %1.pdf").arg(seed), text.left(99000), QStringLiteral("PDF"));
}

// A session of `turns` turns (a lesson and a reply each pair) with its material and outline.
TeacherLearningSession lessonSession(int seed, int turns) {
    TeacherLearningSession session(0);
    MeridV12CourseNavigator::install(courseMaterial(seed), session);
    const QString question = QStringLiteral("请讲解导数的定义，并给一个例子。");
    const QString answer = QStringLiteral("【先说人话】导数是变化率。【关键概念】derivative = lim (f(x+h)-f(x))/h。"
                                          "【举个例子】f(x)=x² 的导数是 2x。【记住这一点】先求差商再取极限。");
    for (int i = 0; i < turns / 2; ++i) session.addExchange(question + QString::number(i), answer.repeated(3));
    session.latestClassroomResponse = answer;
    session.latestClassroomMode = TeacherMode::teach;
    session.lastPedagogicalAction = MeridAction::continueLearning;
    return session;
}

qint64 encodedSize(const TeacherLearningSession& session) {
    return QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact).size();
}

struct LargeFile {
    QTemporaryDir dir;
    QString path;
    QList<TeacherLearningSession> sessions;

    LargeFile() : path(dir.filePath(QStringLiteral("teacher_sessions.json"))) {
        // Sessions until the file is within 300 KB of the limit.
        qint64 total = 0;
        for (int seed = 0;; ++seed) {
            TeacherLearningSession session = lessonSession(seed, 40);
            const qint64 size = encodedSize(session) + 1;
            if (total + size > TeacherLearningStore::maxBytes - 300000) break;
            total += size;
            sessions.append(std::move(session));
        }
        TeacherLearningStore(path).save(sessions);
    }
};

const LargeFile& largeFile() {
    static const LargeFile instance;
    return instance;
}

void BM_SessionsSave25MiB(benchmark::State& state) {
    const LargeFile& f = largeFile();
    const TeacherLearningStore store(f.path);
    (void)store.load();  // this process has read the file, as the screen has before it saves
    for (auto _ : state) store.save(f.sessions);
    state.counters["file_MiB"] = double(QFileInfo(f.path).size()) / 1048576.0;
    state.counters["sessions"] = double(f.sessions.size());
}

void BM_SessionsLoad25MiB(benchmark::State& state) {
    const LargeFile& f = largeFile();
    const TeacherLearningStore store(f.path);
    for (auto _ : state) benchmark::DoNotOptimize(store.load().size());
}

void BM_SessionsSaveAndLoad25MiB(benchmark::State& state) {
    const LargeFile& f = largeFile();
    const TeacherLearningStore store(f.path);
    (void)store.load();
    for (auto _ : state) {
        store.save(f.sessions);
        benchmark::DoNotOptimize(store.load().size());
    }
}

// One turn as the tutor screen does it after the student's click, the network left out: prepare,
// build the request, make the prompt, check the reply against the contract, record it, save.
void BM_TutorTurnLocalWork(benchmark::State& state) {
    QTemporaryDir dir;
    const TeacherLearningStore store(dir.filePath(QStringLiteral("teacher_sessions.json")));
    const TeacherLearningSession start = lessonSession(1, 200);
    const QString raw = QStringLiteral(
        "{\"schema_version\":1,\"kind\":\"lesson\",\"text\":\"【先说人话】极限描述趋近。【关键概念】limit。\"}");
    for (auto _ : state) {
        state.PauseTiming();
        TeacherLearningSession session = start;
        state.ResumeTiming();
        MeridTutorOrchestrator::prepare(MeridAction::continueLearning, session);
        const MeridTutorRequest request = MeridRequestBuilder::makeRequest(session);
        benchmark::DoNotOptimize(MeridV12HostedPrompt::make(request).size());
        const QString reply = MeridV12ReplyContract::normalize(raw, request, session);
        MeridResponseRecorder::apply(reply, request, session);
        store.save({session});
    }
    state.counters["turns"] = double(start.turns.size());
}

}  // namespace

BENCHMARK(BM_SessionsSave25MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionsLoad25MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionsSaveAndLoad25MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TutorTurnLocalWork)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
