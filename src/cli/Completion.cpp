// `tms370 completion bash|zsh|fish`: the scripts are made from the parser's own table of
// commands and options, so a command or option added there completes without more work.
#include "Commands.h"

#include "ExitCode.h"

#include <QRegularExpression>
#include <QTextStream>

namespace cli {

namespace {

// Where serial adapters appear; matched when completing, so a port plugged in later is offered.
const QStringList PortGlobs{"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyS*"};
// The extensions an image file has (raw, Intel HEX, S-records), and a recipe's.
const QStringList ImageExtensions{"bin", "hex", "ihx", "ihex", "srec", "s19", "s28", "s37", "mot"};
const QStringList RecipeExtensions{"ini"};

// What completes an option's value.
enum class Value { None, Words, Ports, Images, Recipes, Files };

Value ValueOf(const OptionWords& o) {
    const QString name = o.option.names().last();
    if (o.option.valueName().isEmpty()) {
        return Value::None;
    }
    if (name == QLatin1String("port")) {
        return Value::Ports;
    }
    if (!o.words.isEmpty()) {
        return Value::Words;
    }
    if (name == QLatin1String("input") || name == QLatin1String("output")) {
        return Value::Images;
    }
    if (name == QLatin1String("recipe")) {
        return Value::Recipes;
    }
    return o.option.valueName() == QLatin1String("FILE") ||
                   o.option.valueName() == QLatin1String("STORE")
               ? Value::Files
               : Value::None;
}

QStringList Dashed(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names()) {
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    return names;
}

// A word as one shell word in single quotes.
QString Quoted(const QString& word) {
    return QLatin1Char('\'') + QString(word).replace(QLatin1String("'"), QLatin1String("'\\''")) +
           QLatin1Char('\'');
}

QString QuotedAll(const QStringList& words) {
    QStringList quoted;
    for (const QString& word : words) {
        quoted << Quoted(word);
    }
    return quoted.join(QLatin1Char(' '));
}

QString Bash(const QList<CommandOptions>& table) {
    QString script = QStringLiteral(
        "# bash completion for tms370, made by `tms370 completion bash`\n"
        "_tms370_add() { # the words of $@ that begin with $cur\n"
        "    local w\n"
        "    for w in \"$@\"; do\n"
        "        [[ $w == *'*' ]] && continue # a port pattern that matched nothing\n"
        "        [[ $w == \"$cur\"* ]] && COMPREPLY+=(\"$(printf %q \"$w\")\")\n"
        "    done\n"
        "}\n"
        "_tms370_files() { # files with one of the extensions $@, and folders\n"
        "    local f ext\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    while IFS= read -r f; do\n"
        "        ext=${f##*.}\n"
        "        if [[ -d $f || $# -eq 0 || \" $* \" == *\" ${ext,,} \"* ]]; then\n"
        "            COMPREPLY+=(\"$f\")\n"
        "        fi\n"
        "    done < <(compgen -f -- \"$cur\")\n"
        "}\n"
        "_tms370() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "    COMPREPLY=()\n"
        "    if ((COMP_CWORD == 1)); then\n"
        "        _tms370_add");
    for (const CommandOptions& command : table) {
        script += QLatin1Char(' ') + Quoted(command.name);
    }
    script += QStringLiteral(" --help --version\n        return\n    fi\n"
                             "    case ${COMP_WORDS[1]} in\n");
    for (const CommandOptions& command : table) {
        script += QStringLiteral("    %1)\n        case $prev in\n").arg(Quoted(command.name));
        QStringList all;
        for (const OptionWords& o : command.options) {
            all << Dashed(o.option);
            const QString names = Dashed(o.option).join(QLatin1Char('|'));
            switch (ValueOf(o)) {
            case Value::None:
                continue;
            case Value::Words:
                script += QStringLiteral("        %1) _tms370_add %2 ;;\n")
                              .arg(names, QuotedAll(o.words));
                break;
            case Value::Ports:
                script += QStringLiteral("        %1) _tms370_add %2 %3 ;;\n")
                              .arg(names, QuotedAll(o.words), PortGlobs.join(QLatin1Char(' ')));
                break;
            case Value::Images:
                script += QStringLiteral("        %1) _tms370_files %2 ;;\n")
                              .arg(names, ImageExtensions.join(QLatin1Char(' ')));
                break;
            case Value::Recipes:
                script += QStringLiteral("        %1) _tms370_files %2 ;;\n")
                              .arg(names, RecipeExtensions.join(QLatin1Char(' ')));
                break;
            case Value::Files:
                script += QStringLiteral("        %1) _tms370_files ;;\n").arg(names);
                break;
            }
        }
        script += QStringLiteral("        *) _tms370_add %1 %2%3 ;;\n        esac ;;\n")
                      .arg(all.join(QLatin1Char(' ')), QuotedAll(command.arguments),
                           command.imageArgument ? QStringLiteral("; _tms370_files ") +
                                                       ImageExtensions.join(QLatin1Char(' '))
                                                 : QString());
    }
    return script + QStringLiteral("    esac\n}\ncomplete -F _tms370 tms370\n");
}

// An option's description as a zsh or fish help text: its first sentence, nothing that quotes.
QString Blurb(const QCommandLineOption& option) {
    QString text = option.description().section(QLatin1String(". "), 0, 0);
    text.remove(QRegularExpression(QStringLiteral("[][:'\"`$\\\\]")));
    return text.size() <= 60
               ? text
               : text.left(text.lastIndexOf(QLatin1Char(' '), 57)) + QStringLiteral("...");
}

QString Zsh(const QList<CommandOptions>& table) {
    QString script = QStringLiteral("#compdef tms370\n"
                                    "# zsh completion for tms370, made by `tms370 completion zsh`\n"
                                    "_tms370_ports() {\n"
                                    "    local -a ports\n"
                                    "    ports=(${(z)1} %1)\n"
                                    "    compadd -a ports\n"
                                    "}\n"
                                    "_tms370() {\n"
                                    "    local -a commands\n"
                                    "    commands=(")
                         .arg(QStringLiteral("/dev/tty(USB|ACM|S)*(N)"));
    for (const CommandOptions& command : table) {
        script += QLatin1Char(' ') + Quoted(command.name);
    }
    script += QStringLiteral(")\n    if ((CURRENT == 2)); then\n"
                             "        compadd -a commands\n        return\n    fi\n"
                             "    local command=$words[2]\n"
                             "    shift words\n    ((CURRENT--))\n"
                             "    case $command in\n");
    for (const CommandOptions& command : table) {
        script += QStringLiteral("    %1)\n        _arguments -s").arg(Quoted(command.name));
        for (const OptionWords& o : command.options) {
            QString action;
            switch (ValueOf(o)) {
            case Value::None:
                action = o.option.valueName().isEmpty() ? QString() : QStringLiteral(":value: ");
                break;
            case Value::Words:
                action = QStringLiteral(":value:(%1)").arg(o.words.join(QLatin1Char(' ')));
                break;
            case Value::Ports:
                action = QStringLiteral(":port:{_tms370_ports \"%1\"}")
                             .arg(o.words.join(QLatin1Char(' ')));
                break;
            case Value::Images:
                action = QStringLiteral(":file:_files -g \"*.(%1)\"")
                             .arg(ImageExtensions.join(QLatin1Char('|')));
                break;
            case Value::Recipes:
                action = QStringLiteral(":recipe:_files -g \"*.ini\"");
                break;
            case Value::Files:
                action = QStringLiteral(":file:_files");
                break;
            }
            for (const QString& name : Dashed(o.option)) {
                script +=
                    QStringLiteral(" \\\n            %1")
                        .arg(Quoted(QStringLiteral("%1[%2]%3").arg(name, Blurb(o.option), action)));
            }
        }
        if (!command.arguments.isEmpty()) {
            script += QStringLiteral(" \\\n            %1")
                          .arg(Quoted(QStringLiteral("1:shell:(%1)")
                                          .arg(command.arguments.join(QLatin1Char(' ')))));
        }
        if (command.imageArgument) {
            script += QStringLiteral(" \\\n            %1")
                          .arg(Quoted(QStringLiteral("1:file:_files -g \"*.(%1)\"")
                                          .arg(ImageExtensions.join(QLatin1Char('|')))));
        }
        script += QStringLiteral(" ;;\n");
    }
    return script + QStringLiteral("    esac\n}\n_tms370 \"$@\"\n");
}

QString Fish(const QList<CommandOptions>& table) {
    QString script = QStringLiteral("# fish completion for tms370, made by `tms370 completion "
                                    "fish`\ncomplete -c tms370 -f\n");
    for (const CommandOptions& command : table) {
        script += QStringLiteral("complete -c tms370 -n __fish_use_subcommand -a %1\n")
                      .arg(Quoted(command.name));
        const QString when =
            Quoted(QStringLiteral("__fish_seen_subcommand_from %1").arg(command.name));
        if (!command.arguments.isEmpty()) {
            script += QStringLiteral("complete -c tms370 -n %1 -a %2\n")
                          .arg(when, Quoted(command.arguments.join(QLatin1Char(' '))));
        }
        if (command.imageArgument) {
            script += QStringLiteral("complete -c tms370 -n %1 -F\n").arg(when);
        }
        for (const OptionWords& o : command.options) {
            QString line = QStringLiteral("complete -c tms370 -n %1").arg(when);
            for (const QString& name : o.option.names()) {
                line += name.size() == 1 ? QStringLiteral(" -s ") : QStringLiteral(" -l ");
                line += name;
            }
            line += QStringLiteral(" -d %1").arg(Quoted(Blurb(o.option)));
            QStringList suffixes;
            switch (ValueOf(o)) {
            case Value::None:
                line += o.option.valueName().isEmpty() ? QString() : QStringLiteral(" -x");
                break;
            case Value::Words:
                line += QStringLiteral(" -x -a %1").arg(Quoted(o.words.join(QLatin1Char(' '))));
                break;
            case Value::Ports:
                line += QStringLiteral(" -x -a %1")
                            .arg(Quoted(o.words.join(QLatin1Char(' ')) +
                                        QStringLiteral(" (ls /dev | string match -r "
                                                       "'^tty(USB|ACM|S)[0-9]+$' | string "
                                                       "replace -r '^' /dev/)")));
                break;
            case Value::Images:
            case Value::Recipes:
                for (const QString& ext :
                     ValueOf(o) == Value::Images ? ImageExtensions : RecipeExtensions) {
                    suffixes << QLatin1Char('.') + ext;
                }
                line += QStringLiteral(" -r -a %1")
                            .arg(Quoted(QStringLiteral("(__fish_complete_suffix %1)")
                                            .arg(suffixes.join(QLatin1Char(' ')))));
                break;
            case Value::Files:
                line += QStringLiteral(" -r -F");
                break;
            }
            script += line + QLatin1Char('\n');
        }
    }
    return script;
}

} // namespace

int PrintCompletion(const Request& request, ToolServices& services) {
    const QList<CommandOptions> table = CommandTable();
    services.out << (request.shell == QLatin1String("zsh")    ? Zsh(table)
                     : request.shell == QLatin1String("fish") ? Fish(table)
                                                              : Bash(table));
    services.out.flush();
    return Success;
}

} // namespace cli
