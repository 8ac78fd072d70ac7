#pragma once

#include "../common/TableRows.h"
#include "EditorFiles.h"
#include "ErrorNumberOf.h"
#include "FileSystemLimits.h"
#include "editor/model/EditSession.h"
#include "editor/model/EditorDocument.h"
#include "editor/model/EditorObserver.h"
#include "platform/RuntimeError.h"

#include <QtCore>
#include <QtTest>
#include <functional>

// Answers the document's questions from a script and keeps what it was told, in order:
// "ask: …", "tell: …", "fail 75: …".
class ScriptedObserver : public EditorObserver {
public:
    QList<Answer> answers;            // taken in order; No when none is left
    int stopAfterReports = -1;        // WorkProgress answers false from this report on
    std::function<void()> onProgress; // runs at each report, as another program would
    QStringList said;
    int reports = 0;

    void WorkStarts(const QString&, bool) override {}
    bool WorkProgress(int) override {
        if (onProgress) {
            onProgress();
        }
        return ++reports < stopAfterReports || stopAfterReports < 0;
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
    std::optional<QString> SaveAsTarget() override { return std::nullopt; }
    bool Ending() const override { return false; }
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
    QByteArray Whole() { // the working image's bytes from 1-based position on
        QByteArray bytes(document.Length(), '\0');
        bytes.resize(document.Image().ReadAt(1, bytes.data(), bytes.size()));
        return bytes;
    }
    QString Hex(qint64 position, qint64 size) {
        return Whole().mid(position - 1, size).toHex(' ').toUpper();
    }
    // Whether what was said i-th (-1: the last) holds all words; shows all if not.
    bool Said(int i, std::initializer_list<QString> words) const {
        const QStringList& spoken = observer.said;
        const QString said = spoken.value(i < 0 ? spoken.size() - 1 : i);
        const bool all = std::all_of(words.begin(), words.end(),
                                     [&](const QString& word) { return said.contains(word); });
        if (!all) {
            qWarning("said: %s", qPrintable(spoken.join('|')));
        }
        return all;
    }
    qint64 Cursor() const { return session.View().position - 1; } // 0-based
};
