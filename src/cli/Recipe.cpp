#include "Recipe.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace cli {

namespace {

// The options whose value is a file, taken from the recipe's folder when relative.
bool NamesAFile(const QString& name, const QString& value) {
    if (name == QLatin1String("journal")) {
        return !value.contains(QLatin1String("://")); // a server is no file
    }
    return name == QLatin1String("input") || name == QLatin1String("trace");
}

// Options a recipe may not hold: another recipe, and what only prints.
bool Refused(const QString& name) {
    return name == QLatin1String("recipe") || name == QLatin1String("help") ||
           name == QLatin1String("version");
}

} // namespace

std::optional<RecipeRead> ReadRecipe(const QString& path, const QList<QCommandLineOption>& options,
                                     const std::function<bool(const QCommandLineOption&)>& given,
                                     QString* why) {
    // A FIFO or a device would be read until its writer stops: only a plain file is a recipe.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *why = QStringLiteral("%1 is not a file: a recipe is a text file").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read recipe %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // A recipe is a few lines; anything far larger is not one.
    const QByteArray bytes = file.read(1 << 20);
    if (!file.atEnd()) {
        *why = QStringLiteral("%1 is too large to be a recipe (over 1 MiB)").arg(path);
        return std::nullopt;
    }
    RecipeRead recipe;
    recipe.name = QFileInfo(path).fileName();
    recipe.sha256 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QDir folder = QFileInfo(path).absoluteDir();
    const auto fail = [&](int line, const QString& text) {
        *why = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text);
        return std::nullopt;
    };

    bool inRecipe = false;
    bool sawRecipe = false;
    // Editors on Windows write a byte order mark first and end lines with CR LF.
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QString line = lines[i];
        // A comment runs from ; or # to the end of the line.
        const qsizetype comment = line.indexOf(QRegularExpression(QStringLiteral("[;#]")));
        line = (comment < 0 ? line : line.left(comment)).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inRecipe = line.mid(1, line.size() - 2).trimmed() == QLatin1String("recipe");
            if (!inRecipe) {
                return fail(number,
                            QStringLiteral("a recipe has one section, [recipe]; not %1").arg(line));
            }
            sawRecipe = true;
            continue;
        }
        if (!inRecipe) {
            return fail(number, QStringLiteral("the options go under [recipe]"));
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            return fail(number, QStringLiteral("give KEY = VALUE, not '%1'").arg(line));
        }
        QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("image")) {
            key = QStringLiteral("input");
        }
        const QCommandLineOption* option = nullptr;
        for (const QCommandLineOption& candidate : options) {
            if (candidate.names().last() == key) {
                option = &candidate;
            }
        }
        if (!option || Refused(key)) {
            return fail(number, QStringLiteral("'%1' is not an option a recipe can give")
                                    .arg(line.left(equals).trimmed()));
        }
        if (given(*option)) {
            continue; // the command line's own wins
        }
        const QString flag = QStringLiteral("--") + key;
        if (option->valueName().isEmpty()) {
            if (value == QLatin1String("true")) {
                recipe.arguments << flag;
            } else if (value != QLatin1String("false")) {
                return fail(number,
                            QStringLiteral("%1 takes true or false, not '%2'").arg(key, value));
            }
            continue;
        }
        if (value.isEmpty()) {
            return fail(number, QStringLiteral("%1 has no value").arg(key));
        }
        // An option given more than once is a comma list.
        const bool repeated = key == QLatin1String("keep") || key == QLatin1String("checksum");
        for (const QString& part : repeated ? value.split(QLatin1Char(',')) : QStringList{value}) {
            const QString one = part.trimmed();
            recipe.arguments << flag << (NamesAFile(key, one) ? folder.absoluteFilePath(one) : one);
        }
    }
    if (!sawRecipe) {
        *why = QStringLiteral("%1 holds no [recipe] section").arg(path);
        return std::nullopt;
    }
    return recipe;
}

} // namespace cli
