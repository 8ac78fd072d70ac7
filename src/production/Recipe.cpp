#include "Recipe.h"

#include "IniFile.h"
#include "formats/ImageFormat.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

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

namespace {

// The recipe at path; needs: the section it must hold.
std::optional<Recipe> ReadRecipeFile(const QString& path, const QString& needs, QString* why) {
    const std::optional<IniFile> ini = ReadIniFile(
        path, {QStringLiteral("recipe"), QStringLiteral("fields")}, QStringLiteral("recipe"), why);
    if (!ini) {
        return std::nullopt;
    }
    if (!ini->Has(needs)) {
        *why = QStringLiteral("%1 holds no [%2] section").arg(path, needs);
        return std::nullopt;
    }
    const QFileInfo info(path);
    Recipe recipe;
    recipe.path = info.absoluteFilePath();
    recipe.name = info.fileName();
    recipe.sha256 = QString::fromLatin1(
        QCryptographicHash::hash(ini->bytes, QCryptographicHash::Sha256).toHex());
    const QDir folder = info.absoluteDir();
    const auto fail = [&](int line, const QString& text) {
        *why = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text);
        return std::nullopt;
    };
    for (const IniLine& line : ini->lines) {
        const int number = line.line;
        if (line.section == QLatin1String("fields")) {
            recipe.fields.append({number, line.key, line.value});
            continue;
        }
        const QString& given = line.key;
        QString key = given.toLower();
        const QString& value = line.value;
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
    return recipe;
}

} // namespace

std::optional<Recipe> ReadRecipe(const QString& path, QString* why) {
    return ReadRecipeFile(path, QStringLiteral("recipe"), why);
}

std::optional<Recipe> ReadRecipeFields(const QString& path, QString* why) {
    return ReadRecipeFile(path, QStringLiteral("fields"), why);
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
