// Course outline and course plan of a full-size material: 100,000 characters of mixed Chinese and
// Latin text with page labels, "\r\n" line ends and 150 headings (80 of them kept). This is the work
// done when a file is imported into the tutor.
#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>

#include "base/text.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_course_outline.h"
#include "tutor-engine/teacher_material.h"

namespace {

using namespace meridcore;

QString sampleText(qsizetype characters, bool withHeadings) {
    const QString body[] = {
        QStringLiteral("函数的极限描述了自变量趋近某一点时函数值的变化趋势，是微积分的基础。"),
        QStringLiteral("The derivative measures the rate of change; see Théorème 2 for the proof. 😀"),
        QStringLiteral("练习：求 f(x) = x² + 3x 在 x = 1 处的导数，并说明几何意义。"),
    };
    QStringList lines;
    qsizetype length = 0;
    for (int i = 0; length < characters + 200; ++i) {
        QString line;
        if (i % 40 == 0) line = QStringLiteral("[第 %1 页]").arg(i / 40 + 1);
        else if (withHeadings && i % 27 == 0) line = QStringLiteral("第%1节 小节标题").arg(i / 27);
        else if (withHeadings && i % 41 == 0) line = QStringLiteral("## Chapter %1: Topic").arg(i / 41);
        else line = body[i % 3];
        lines.append(line);
        length += base::text::graphemeCount(line) + 1;
    }
    return base::text::graphemePrefix(lines.join(QStringLiteral("\r\n")), characters);
}

const TeacherMaterial& sample() {
    static const TeacherMaterial material(QStringLiteral("讲义.pdf"), sampleText(100000, true), QStringLiteral("PDF"));
    return material;
}

// The same text without headings: the scan runs to the last line and ends with the fallback topic.
const TeacherMaterial& plainSample() {
    static const TeacherMaterial material(QStringLiteral("讲义.pdf"), sampleText(100000, false), QStringLiteral("PDF"));
    return material;
}

void BM_CourseOutline100k(benchmark::State& state) {
    const TeacherMaterial& material = sample();
    for (auto _ : state) benchmark::DoNotOptimize(MeridV12CourseOutline::build(material));
    state.SetItemsProcessed(state.iterations() * 100000);
    state.counters["topics"] = double(MeridV12CourseOutline::build(material).size());
    state.counters["characters"] = double(base::text::graphemeCount(material.text()));
}
BENCHMARK(BM_CourseOutline100k)->Unit(benchmark::kMillisecond);

void BM_CourseOutlineNoHeadings100k(benchmark::State& state) {
    const TeacherMaterial& material = plainSample();
    for (auto _ : state) benchmark::DoNotOptimize(MeridV12CourseOutline::build(material));
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_CourseOutlineNoHeadings100k)->Unit(benchmark::kMillisecond);

void BM_CoursePlanNoHeadings100k(benchmark::State& state) {
    const TeacherMaterial& material = plainSample();
    for (auto _ : state) benchmark::DoNotOptimize(MeridV12CourseNavigator::build(material));
}
BENCHMARK(BM_CoursePlanNoHeadings100k)->Unit(benchmark::kMillisecond);

void BM_CoursePlan100k(benchmark::State& state) {
    const TeacherMaterial& material = sample();
    for (auto _ : state) benchmark::DoNotOptimize(MeridV12CourseNavigator::build(material));
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_CoursePlan100k)->Unit(benchmark::kMillisecond);

// Installing the material into a session: the plan plus the fingerprints of old and new material.
void BM_InstallMaterial100k(benchmark::State& state) {
    const TeacherMaterial& material = sample();
    for (auto _ : state) {
        TeacherLearningSession session(0);
        MeridV12CourseNavigator::install(material, session);
        benchmark::DoNotOptimize(session);
    }
}
BENCHMARK(BM_InstallMaterial100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
