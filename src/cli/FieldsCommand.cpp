#include "Commands.h"

#include "ExitCode.h"
#include "core/ImageFile.h"
#include "formats/ImageRecords.h"
#include "formats/RecordReader.h"
#include "production/FieldLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cstring>
#include <memory>

namespace cli {

namespace {

using production::Field;
using production::FieldImage;
using production::FieldState;

int Fail(ToolServices& services, const QString& line, int code) {
    services.err << "tms370: " << line << '\n';
    services.err.flush();
    return code;
}

// A records image as its records lie: from the lowest address a record gives to the highest,
// bytes no record gives FFh (as the editor shows them).
std::optional<FieldImage> ReadRecords(const QString& path, const QByteArray& content,
                                      core::ImageFormat format, QString* why) {
    auto records = std::make_shared<QList<QPair<qint64, QByteArray>>>();
    qint64 first = -1, end = 0;
    core::RecordReader reader(format, [&](quint32 address, const QByteArray& data, qint64) {
        records->append({address, data});
        first = first < 0 ? address : std::min<qint64>(first, address);
        end = std::max<qint64>(end, address + data.size());
        return true;
    });
    reader.Feed(content.constData(), content.size());
    reader.Finish();
    if (const auto& fault = reader.Fault()) {
        *why = fault->line > 0
                   ? QStringLiteral("%1:%2: %3").arg(path).arg(fault->line).arg(fault->why)
                   : QStringLiteral("%1: %2").arg(path, fault->why);
        return std::nullopt;
    }
    return FieldImage{first, end - first, [records, first](qint64 offset, char* data, qint64 size) {
                          std::memset(data, 0xFF, size_t(size));
                          for (const auto& [address, bytes] : *records) {
                              const qint64 from = std::max(offset, address - first);
                              const qint64 to =
                                  std::min(offset + size, address - first + bytes.size());
                              for (qint64 at = from; at < to; ++at) {
                                  data[at - offset] = bytes[at - (address - first)];
                              }
                          }
                          return size;
                      }};
}

// The device whose EEPROM a raw image of one block starts at: -d, else the recipe's.
std::optional<const core::Family*> FamilyOf(const Request& request,
                                            const production::Recipe& recipe, QString* why) {
    if (request.family) {
        return request.family;
    }
    for (const production::RecipeEntry& entry : recipe.entries) {
        Request named;
        if (entry.key == QLatin1String("device") && !ReadDevice(entry.value, named)) {
            *why = QStringLiteral("%1:%2: unknown device '%3'")
                       .arg(recipe.path)
                       .arg(entry.line)
                       .arg(entry.value);
            return std::nullopt;
        }
        if (entry.key == QLatin1String("device")) {
            return named.family;
        }
    }
    return static_cast<const core::Family*>(nullptr);
}

QJsonValue Checksum(const FieldState& state) {
    if (!state.inside) {
        return QJsonObject{
            {"stored", QJsonValue()}, {"expected", QJsonValue()}, {"matches", false}};
    }
    return QJsonObject{{"stored", qint64(state.stored)},
                       {"expected", qint64(state.expected)},
                       {"matches", state.matches}};
}

} // namespace

int ShowFields(const Request& request, ToolServices& services) {
    QString why;
    const std::optional<production::Recipe> recipe =
        production::ReadRecipeFields(request.recipe, &why);
    const std::optional<production::FieldLayout> layout =
        recipe ? production::FieldLayoutOf(recipe->path, recipe->fields, &why) : std::nullopt;
    const std::optional<const core::Family*> family =
        layout ? FamilyOf(request, *recipe, &why) : std::nullopt;
    if (!family) {
        return Fail(services, why, FileFailed);
    }
    const std::optional<QByteArray> content =
        core::ReadImageFile(request.file, core::MaxTextImageSize, &why);
    if (!content) {
        return Fail(services, QStringLiteral("cannot read %1: %2").arg(request.file, why),
                    FileFailed);
    }
    // A file that plainly holds records is read as such whatever its name; one named for
    // records that does not is refused, naming its line.
    const core::ImageFormat format =
        core::RecordsFormatOf(*content).value_or(core::ImageFormatOfPath(request.file));
    const std::optional<FieldImage> image =
        format == core::ImageFormat::Raw
            ? production::FieldImageOf(*content,
                                       production::FieldOrigin(false, 0, content->size(), *family))
            : ReadRecords(request.file, *content, format, &why);
    if (!image) {
        return Fail(services, why, FileFailed);
    }

    int code = Success;
    QList<QStringList> rows;
    QJsonArray items;
    for (const Field& field : layout->fields) {
        const FieldState state = production::Evaluate(field, *image);
        rows.append({field.name, core::HexAddress(quint32(field.address)), field.type,
                     production::FieldValueText(field, state)});
        QJsonObject item{{"name", field.name},
                         {"address", field.address},
                         {"type", field.type},
                         {"value", state.inside ? QJsonValue(state.value) : QJsonValue()},
                         {"inside", state.inside}};
        if (field.checksum) {
            item.insert(QStringLiteral("checksum"), Checksum(state));
        }
        items.append(item);
        if (field.checksum && !state.matches) {
            code = VerifyMismatch;
            services.err << QStringLiteral("tms370: %1: the checksum field %2 %3\n")
                                .arg(request.file, field.name,
                                     state.inside
                                         ? QStringLiteral("does not match its range")
                                         : QStringLiteral("cannot be checked: ") + state.value);
        }
    }
    if (request.listFormat == QLatin1String("json")) {
        services.out << QJsonDocument(QJsonObject{{"file", request.file},
                                                  {"recipe", recipe->path},
                                                  {"fields", items}})
                            .toJson(QJsonDocument::Indented);
    } else {
        WriteTable(services.out, {"Name", "Address", "Type", "Value"}, rows);
    }
    services.out.flush();
    services.err.flush();
    return code;
}

} // namespace cli
