#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

namespace cli {

// A recipe: the options of a production run, kept in a file a person writes by hand.
//
//   [recipe]
//   port = Comm1
//   device = TMS370CX56A
//   image = fw.ihx            ; relative paths are the recipe's folder's
//   keep = 1E10h:16, 1E40h:8  ; an option given more than once: a comma list
//   skip-same = true
//
// The keys are the long names of the command's options (image for input); switches take true
// or false. What the command line gives itself overrides the recipe's.
struct RecipeRead {
    QStringList arguments; // the recipe's options, as the command line would give them
    QString name;          // the file's name, without its folder
    QString sha256;        // of the file's bytes, in hex
};

// The arguments of the recipe at path for a command with options, leaving out those given says
// the command line gave; nothing, with why naming the file and the line, for a recipe that
// cannot be read or holds a key or value the command does not take.
std::optional<RecipeRead> ReadRecipe(const QString& path, const QList<QCommandLineOption>& options,
                                     const std::function<bool(const QCommandLineOption&)>& given,
                                     QString* why);

} // namespace cli
