// A recipe file as a person writes it (Production ▸ Open Recipe, tms370 program --recipe): read,
// then applied as the window applies it.
#include "FuzzSupport.h"
#include "production/Recipe.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::ScratchPath(QStringLiteral("line.ini"));
    fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QString why;
    const std::optional<production::Recipe> recipe = production::ReadRecipe(path, &why);
    fuzz::Check(recipe.has_value() != !why.isEmpty(), "a refused recipe says why, only then");
    if (!recipe) {
        fuzz::Check(why.startsWith(path), "a refusal names the file");
        return 0;
    }
    for (const production::RecipeEntry& entry : recipe->entries) {
        fuzz::Check(entry.line >= 1 && !entry.key.isEmpty(), "each entry has its line and key");
        fuzz::Check(!production::RecipeSwitch(entry.key) || entry.value == "true" ||
                        entry.value == "false",
                    "a switch is true or false");
        if (entry.key == QLatin1String("input") || entry.key == QLatin1String("trace")) {
            fuzz::Check(QDir::isAbsolutePath(entry.value), "a file is the recipe folder's");
        }
    }
    why.clear();
    const auto run = production::ApplyRecipe(*recipe, {}, &why);
    fuzz::Check(run.has_value() != !why.isEmpty(), "a recipe that cannot apply says why");
    return 0;
}
