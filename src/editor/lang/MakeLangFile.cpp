// Build tool: turns a readable list of texts ("number<TAB>text" lines, "#" comments, UTF-8)
// into a language file of 104-byte records. Usage: MakeLangFile <source.txt> <output.lpk>
#include "editor/LangFile.h"

#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: MakeLangFile <source.txt> <output.lpk>\n");
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "MakeLangFile: cannot read %s\n", argv[1]);
        return 1;
    }
    QMap<int, QString> texts;
    QTextStream in(&source);
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int n = tab > 0 ? line.left(tab).trimmed().toInt(&ok) : 0;
        if (!ok || n < 1 || n > 32767) {
            std::fprintf(stderr, "%s:%d: expected a record number, a tab and the text\n", argv[1],
                         lineNumber);
            return 1;
        }
        texts.insert(n, line.mid(tab + 1));
    }

    QSaveFile output(QString::fromLocal8Bit(argv[2]));
    if (!output.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "MakeLangFile: cannot write %s\n", argv[2]);
        return 1;
    }
    const int last = texts.isEmpty() ? 0 : texts.lastKey();
    for (int n = 1; n <= last; ++n) {
        output.write(Module1::MakeLangRecord(texts.value(n)));
    }
    return output.commit() ? 0 : 1;
}
