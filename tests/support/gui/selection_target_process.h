#pragma once

// The selection target program under test: started, driven with xdotool, asked what it holds.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QStringList>

#include <gtest/gtest.h>

#include "tests/support/gui/desktop_programs.h"

namespace halvern::testing {

class SelectionTarget {
public:
    explicit SelectionTarget(const QStringList& arguments = {},
                             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setProcessEnvironment(environment);
        orveltest::ownProcessTree(process_);
        process_.start(QStringLiteral(ORVEL_SELECTION_TARGET), arguments);
        started_ = process_.waitForStarted(5000) && waitFor(QStringLiteral("ready "), 10000);
    }
    ~SelectionTarget() {
        process_.write("quit\n");
        process_.waitForFinished(2000);
        orveltest::endProcessTree(process_, 0);
    }

    bool started() const { return started_; }
    qint32 pid() const { return qint32(process_.processId()); }
    QRect geometry(const QString& name) const { return geometry_.value(name); }
    // Every line printed so far.
    QStringList lines() {
        readLines();
        return lines_;
    }

    // Selects the whole text of a one-line control by dragging across it.
    void dragAcross(const QString& name) {
        const QRect box = geometry(name);
        const int y = box.center().y();
        xdotool({QStringLiteral("mousemove"), QString::number(box.left() + 3), QString::number(y)});
        settle(60);
        xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
        settle(60);
        xdotool({QStringLiteral("mousemove"), QString::number(box.center().x()), QString::number(y)});
        settle(30);
        xdotool({QStringLiteral("mousemove"), QString::number(box.right() - 3), QString::number(y)});
        settle(60);
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        // The target reports its selection; a busy machine may take a while to deliver the drag.
        waitForSelection(name, 5000);
        settle(50);
    }

    // Has the target put the words on the clipboard, without waiting for it.
    void copy(const QString& words) { process_.write("copy " + words.toUtf8() + '\n'); }

    // The clipboard as the target sees it.
    QString clipboard() {
        process_.write("clipboard\n");
        if (!waitFor(QStringLiteral("clipboard "), 3000)) return QStringLiteral("<no answer>");
        QString text = last_.mid(10);
        return text.replace(QStringLiteral("\\n"), QStringLiteral("\n")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }

    // Waits until the target reports a non-empty selection in the control `name`.
    bool waitForSelection(const QString& name, int milliseconds) {
        const QString prefix = QStringLiteral("selection ") + name + u' ';
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds) {
            readLines();
            for (qsizetype i = lines_.size() - 1; i >= 0; --i) {
                if (!lines_[i].startsWith(QStringLiteral("selection "))) continue;
                if (lines_[i].startsWith(prefix) && lines_[i].size() > prefix.size()) return true;
                break;
            }
            process_.waitForReadyRead(20);
            QCoreApplication::processEvents();
        }
        return false;
    }

private:
    void readLines() {
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).chopped(1);
            lines_.append(line);
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.size() == 6 && parts[0] == QStringLiteral("geometry"))
                geometry_.insert(parts[1], QRect(parts[2].toInt(), parts[3].toInt(), parts[4].toInt(), parts[5].toInt()));
        }
    }
    bool waitFor(const QString& prefix, int milliseconds) {
        const qsizetype seen = lines_.size();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds) {
            process_.waitForReadyRead(20);
            QCoreApplication::processEvents();
            readLines();
            for (qsizetype i = seen; i < lines_.size(); ++i)
                if (lines_[i].startsWith(prefix)) {
                    last_ = lines_[i];
                    return true;
                }
        }
        return false;
    }

    QProcess process_;
    bool started_ = false;
    QStringList lines_;
    QString last_;
    QHash<QString, QRect> geometry_;
};

}  // namespace halvern::testing
