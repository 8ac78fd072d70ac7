// A recipe file as a person writes it (Production ▸ Open Recipe, tms370 program --recipe): read,
// then applied as the window applies it; its [fields] read, and their checksums kept right.
#include "FuzzSupport.h"
#include "production/FieldLayout.h"
#include "production/Recipe.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::ScratchPath(QStringLiteral("line.ini"));
    fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QString why;
    const std::optional<production::Recipe> recipe = production::ReadRecipe(path, &why);
    fuzz::Check(recipe.has_value() != !why.isEmpty(), "a refused recipe says why, only then");
    QString fault;
    const std::optional<production::FieldLayout> layout = production::ReadFieldLayout(path, &fault);
    fuzz::Check(layout.has_value() != !fault.isEmpty(), "a refused layout says why, only then");
    if (layout) {
        QByteArray block(512, '\x5A');
        for (const auto& [address, bytes] :
             production::ChecksumUpdates(*layout, production::FieldImageOf(block, 0x1E00))) {
            block.replace(address - 0x1E00, bytes.size(), bytes);
        }
        for (const production::Field& field : layout->fields) {
            const production::FieldState state =
                production::Evaluate(field, production::FieldImageOf(block, 0x1E00));
            fuzz::Check(!state.isChecksum || !state.inside || state.matches,
                        "once updated every checksum field in the image matches");
        }
    }
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
