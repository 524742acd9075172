#include "platform/screen_text_capture.h"

#include <QFileInfo>
#include <QUrl>

#include "base/files.h"
#include "base/process.h"
#include "base/task.h"

namespace halvern {

QString CaptureFailure::message() const {
    switch (case_) {
    case Case::unavailable:
        return QStringLiteral("无法启动系统截图。可按 Shift-Ctrl-PrtSc 截图到剪贴板，再点“粘贴图片”。");
    case Case::noImage:
        return QStringLiteral("没有取得截图，可能已取消或尚未获得屏幕录制权限。可重试，或使用系统截图后点“粘贴图片”。");
    case Case::failed:
        return QStringLiteral("系统截图未完成。请检查桌面的屏幕录制权限，或手动截图后点“粘贴图片”。");
    }
    return {};
}

QStringList ScreenTextCapture::captureArguments(const QString& outputPath) {
    return {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("png"), outputPath};
}

ImportedText ScreenTextCapture::captureBlocking(const base::CancellationToken& cancellation, const QString& program) {
    cancellation.throwIfCancelled();
    // Removed with its contents on every way out.
    base::StagingFolder folder = base::StagingFolder::create(ScreenTextCapture::folderPrefix);
    const QString picture = folder.filePath(ScreenTextCapture::pictureName);

    // Once cancelled, a program that does not end on SIGTERM is killed after the grace, and nothing
    // of its process group outlives it.
    base::ProcessOptions options;
    options.cancellation = cancellation;
    base::ProcessResult result;
    try {
        result = base::runProcess(program, captureArguments(picture), options);
    } catch (const base::ProcessError& error) {
        throw CaptureFailure(error.kind() == base::ProcessError::Kind::failedToStart ? CaptureFailure::Case::unavailable
                                                                                      : CaptureFailure::Case::failed);
    }

    if (!QFileInfo::exists(picture)) throw CaptureFailure(CaptureFailure::Case::noImage);
    if (result.crashed || result.exitCode != 0) throw CaptureFailure(CaptureFailure::Case::failed);

    const ImportedText extracted = ImportService::extractFile(QUrl::fromLocalFile(picture), std::nullopt, cancellation);
    return {extracted.text,
            QStringLiteral("已在本机识别你框选的截图；临时截图已清理。请核对数字和公式，再点击翻译 / 讲解 / 练习题发送。")};
}

// Not a coroutine itself: the arguments are moved into the worker's closure at once.
QCoro::Task<ImportedText> ScreenTextCapture::recognizeSelectedRegion(base::CancellationToken cancellation,
                                                                     QString program) {
    return base::runBlocking([cancellation = std::move(cancellation), program = std::move(program)] {
        return captureBlocking(cancellation, program);
    });
}

}  // namespace halvern
