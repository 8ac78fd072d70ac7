#pragma once

#include "EditorFiles.h"
#include "ErrorNumberOf.h"
#include "FileSystemLimits.h"
#include "editor/model/EditSession.h"
#include "editor/model/EditorDocument.h"
#include "editor/model/EditorObserver.h"
#include "platform/RuntimeError.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

// Answers the document's questions from a script and keeps what it was told, in order:
// "ask: …", "tell: …", "fail 75: …", "work: caption".
class ScriptedObserver : public EditorObserver {
public:
    QList<Answer> answers;            // taken in order; No when none is left
    QStringList saveAsTargets;        // likewise; none when empty
    int stopAfterReports = -1;        // WorkProgress answers false from this report on
    std::function<void()> onProgress; // runs at each report, as another program would
    QStringList said;
    QList<int> percents;

    void WorkStarts(const QString& caption, bool) override { said << "work: " + caption; }
    bool WorkProgress(int percent) override {
        percents << percent;
        if (onProgress) {
            onProgress();
        }
        return stopAfterReports < 0 || percents.size() < stopAfterReports;
    }
    void WorkOver() override {}
    Answer Ask(const QString& question, bool, Tone, bool) override {
        said << "ask: " + question;
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    void Tell(const QString& message, Tone) override { said << "tell: " + message; }
    void Fail(const platform::RuntimeError& error) override {
        said << QStringLiteral("fail %1: %2").arg(error.Number()).arg(error.Description());
    }
    std::optional<QString> SaveAsTarget() override {
        if (saveAsTargets.isEmpty()) {
            return std::nullopt;
        }
        return saveAsTargets.takeFirst();
    }
    bool Ending() const override { return false; }
    // What was said that is not progress.
    QStringList Spoken() const {
        QStringList out;
        for (const QString& s : said) {
            if (!s.startsWith(QLatin1String("work: "))) {
                out << s;
            }
        }
        return out;
    }
};

// A document and its edit session over a file of the test's own folder.
struct ModelFixture {
    QTemporaryDir dir;
    ScriptedObserver observer;
    EditorDocument document{observer, dir.filePath(QStringLiteral("work.tmp"))};
    EditSession session{document};
    QString path;

    bool Open(const QByteArray& data, const QString& name = QStringLiteral("user.bin")) {
        path = WriteFile(dir.filePath(name), data);
        return document.Open(path);
    }
    QByteArray Image(qint64 position, qint64 size) {
        QByteArray bytes(size, '\0');
        bytes.resize(document.Image().ReadAt(position, bytes.data(), size));
        return bytes;
    }
    QByteArray Whole() { return Image(1, document.Length()); }
};
