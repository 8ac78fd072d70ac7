#pragma once

#include "production/BlockPatches.h"
#include "production/ProductionSettings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A recipe: the options of a production run, kept in a file a person writes by hand.
//
//   [recipe]
//   port = Comm1
//   device = TMS370CX56A
//   image = fw.ihx            ; relative paths are the recipe's folder's
//   keep = 1E10h:16, 1E40h:8  ; an option given more than once: a comma list
//   skip-same = true
//
//   [fields]                  ; named places in the EEPROM (FieldLayout.h)
//   gain = 1E10h:i16le
//
// The keys are the long names of tms370 program's options (image for input); switches take
// true or false. The command line runs it with program --recipe, the window with Production ▸
// Open Recipe; a run leaves [fields] to tms370 fields and the editor.
namespace production {

struct RecipeEntry {
    int line = 0;
    QString key;   // as the option's long name: "input" for image
    QString value; // a switch's "true" or "false"; a file's absolute path; one item of a list
};

struct Recipe {
    QString path;
    QString name;   // the file's name, without its folder
    QString sha256; // of the file's bytes, in hex
    QList<RecipeEntry> entries;
    QList<RecipeEntry> fields; // [fields]: key the field's name, value its place and type

    // The values the recipe gives key, in order.
    QStringList Values(const QString& key) const;
    std::optional<QString> Value(const QString& key) const;
    bool Switch(const QString& key) const { return Value(key) == QLatin1String("true"); }
};

// Whether key takes no value (a switch).
bool RecipeSwitch(const QString& key);

// The recipe at path; nothing, with why naming the file and the line, for one that cannot be
// read or holds a key or a value a recipe cannot give.
std::optional<Recipe> ReadRecipe(const QString& path, QString* why);
// The same for a file read for its [fields]: a recipe, or a layout holding only [fields].
std::optional<Recipe> ReadRecipeFields(const QString& path, QString* why);

// What the recipe sets of a production run: the journal, the serial number's field and series,
// and the patches; nothing, with why naming the line, for a value that is not one.
struct RecipeRun {
    core::ProductionSettings::Values production;
    BlockPatches patches;
};
std::optional<RecipeRun>
ApplyRecipe(const Recipe& recipe, const core::ProductionSettings::Values& settings, QString* why);

} // namespace production
