#include "Recipe.h"

#include "formats/ImageFormat.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace production {

namespace {

enum class Kind { Switch, Text, File, List };

// The keys a recipe may hold: tms370 program's options, but for another recipe and what only
// prints.
const QList<std::pair<const char*, Kind>> Keys = {
    {"port", Kind::Text},        {"device", Kind::Text},      {"input", Kind::File},
    {"format", Kind::Text},      {"pad", Kind::Switch},       {"no-verify", Kind::Switch},
    {"keep", Kind::List},        {"checksum", Kind::List},    {"skip-same", Kind::Switch},
    {"repeat", Kind::Switch},    {"serial", Kind::Text},      {"serial-start", Kind::Text},
    {"serial-step", Kind::Text}, {"serial-last", Kind::Text}, {"series", Kind::Text},
    {"lease", Kind::Text},       {"journal", Kind::File},     {"store-timeout", Kind::Text},
    {"fast", Kind::Switch},      {"quiet", Kind::Switch},     {"trace", Kind::File},
};

std::optional<Kind> KindOf(const QString& key) {
    for (const auto& [name, kind] : Keys) {
        if (key == QLatin1String(name)) {
            return kind;
        }
    }
    return std::nullopt;
}

} // namespace

QStringList Recipe::Values(const QString& key) const {
    QStringList values;
    for (const RecipeEntry& entry : entries) {
        if (entry.key == key) {
            values << entry.value;
        }
    }
    return values;
}

std::optional<QString> Recipe::Value(const QString& key) const {
    const QStringList values = Values(key);
    return values.isEmpty() ? std::nullopt : std::optional<QString>(values.last());
}

bool RecipeSwitch(const QString& key) {
    return KindOf(key) == Kind::Switch;
}

std::optional<Recipe> ReadRecipe(const QString& path, QString* why) {
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
    Recipe recipe;
    recipe.path = info.absoluteFilePath();
    recipe.name = info.fileName();
    recipe.sha256 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QDir folder = info.absoluteDir();
    const auto fail = [&](int line, const QString& text) {
        *why = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text);
        return std::nullopt;
    };

    // Editors on Windows write a byte order mark first and end lines with CR LF.
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool inRecipe = false;
    bool sawRecipe = false;
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
        const QString given = line.left(equals).trimmed();
        QString key = given.toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("image")) {
            key = QStringLiteral("input");
        }
        const std::optional<Kind> kind = KindOf(key);
        if (!kind) {
            return fail(number,
                        QStringLiteral("'%1' is not an option a recipe can give").arg(given));
        }
        if (*kind == Kind::Switch) {
            if (value != QLatin1String("true") && value != QLatin1String("false")) {
                return fail(number,
                            QStringLiteral("%1 takes true or false, not '%2'").arg(key, value));
            }
        } else if (value.isEmpty()) {
            return fail(number, QStringLiteral("%1 has no value").arg(key));
        }
        // An option given more than once is a comma list; a file is the recipe's folder's.
        for (const QString& part :
             *kind == Kind::List ? value.split(QLatin1Char(',')) : QStringList{value}) {
            const QString one = part.trimmed();
            // A journal on a server is an address, not a file.
            const bool file = *kind == Kind::File && !(key == QLatin1String("journal") &&
                                                       one.contains(QLatin1String("://")));
            recipe.entries.append({number, key, file ? folder.absoluteFilePath(one) : one});
        }
    }
    if (!sawRecipe) {
        *why = QStringLiteral("%1 holds no [recipe] section").arg(path);
        return std::nullopt;
    }
    return recipe;
}

std::optional<RecipeRun>
ApplyRecipe(const Recipe& recipe, const core::ProductionSettings::Values& settings, QString* why) {
    RecipeRun run{settings, {}};
    core::ProductionSettings::Values& values = run.production;
    for (const RecipeEntry& entry : recipe.entries) {
        QString fault;
        const QString& v = entry.value;
        if (entry.key == QLatin1String("journal")) {
            values.journal = v;
        } else if (entry.key == QLatin1String("serial")) {
            values.serial = core::ParseSerialField(v, &fault);
        } else if (entry.key == QLatin1String("series")) {
            values.series.name = v;
        } else if (entry.key.startsWith(QLatin1String("serial-"))) {
            const std::optional<qint64> number = core::ParseSerialNumber(v);
            std::optional<qint64>& target =
                entry.key == QLatin1String("serial-start")  ? values.series.start
                : entry.key == QLatin1String("serial-step") ? values.series.step
                                                            : values.series.last;
            target = number;
            if (!number) {
                fault = QStringLiteral("%1 takes a number, not '%2'").arg(entry.key, v);
            }
        } else if (entry.key == QLatin1String("lease") ||
                   entry.key == QLatin1String("store-timeout")) {
            bool ok = false;
            const int seconds = v.toInt(&ok);
            if (!ok || seconds < 1) {
                fault = QStringLiteral("%1 takes whole seconds, at least 1").arg(entry.key);
            }
            (entry.key == QLatin1String("lease") ? values.leaseSeconds
                                                 : values.storeTimeoutSeconds) = seconds;
        } else if (entry.key == QLatin1String("keep")) {
            if (const auto range = ParseKeepRange(v, &fault)) {
                run.patches.keep.append(*range);
            }
        } else if (entry.key == QLatin1String("checksum")) {
            if (const auto sum = ParseChecksumField(v, &fault)) {
                run.patches.checksums.append(*sum);
            }
        } else if (entry.key == QLatin1String("format")) {
            if (!core::ParseImageFormat(v)) {
                fault = QStringLiteral("unknown format '%1'; give raw, ihex or srec").arg(v);
            }
        } else if (entry.key == QLatin1String("skip-same")) {
            run.patches.skipSame = v == QLatin1String("true");
        }
        if (!fault.isEmpty()) {
            *why = QStringLiteral("%1:%2: %3").arg(recipe.path).arg(entry.line).arg(fault);
            return std::nullopt;
        }
    }
    return run;
}

} // namespace production
