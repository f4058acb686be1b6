#include "manifest/ManifestDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <climits>
#include <cmath>
#include <optional>

namespace Manifest {

namespace {

using Kind = ManifestDecodeError::Kind;

QString memberPath(const QString &parent, const QString &key)
{
    return parent.isEmpty() ? key : parent + QLatin1Char('.') + key;
}

QString elementPath(const QString &parent, qsizetype index)
{
    return parent + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

// Walks the document keeping the first failure. After a failure every read returns an empty
// value and the result is discarded, so the decoders below need no error plumbing.
class Reader
{
public:
    template <typename T> using Converter = T (Reader::*)(const QJsonValue &, const QString &);

    bool failed() const { return m_error.has_value(); }
    const ManifestDecodeError &error() const { return *m_error; }

    void fail(Kind kind, const QString &path, const QString &detail = {})
    {
        if (!m_error)
            m_error = ManifestDecodeError{kind, path, detail};
    }

    InstallManifest manifest(const QJsonObject &root)
    {
        InstallManifest result;
        const QString path;
        result.schemaVersion =
            required(root, path, QStringLiteral("schema_version"), &Reader::integer);
        result.defaultHarnessIds =
            required(root, path, QStringLiteral("default_harness_ids"), &Reader::stringList);
        result.harnesses = required(root, path, QStringLiteral("harnesses"), &Reader::harnessList);
        result.fundingGroups =
            required(root, path, QStringLiteral("funding_groups"), &Reader::groupMap);
        result.advanced = required(root, path, QStringLiteral("advanced"), &Reader::advanced);
        return result;
    }

private:
    template <typename T>
    T required(const QJsonObject &object, const QString &objectPath, const QString &key,
               Converter<T> convert)
    {
        const QString path = memberPath(objectPath, key);
        const auto found = object.constFind(key);
        if (found == object.constEnd()) {
            fail(Kind::MissingKey, path);
            return T{};
        }
        if (found->isNull()) {
            fail(Kind::NullValue, path);
            return T{};
        }
        return (this->*convert)(*found, path);
    }

    // Absent and null both mean no value.
    template <typename T>
    std::optional<T> optional(const QJsonObject &object, const QString &objectPath,
                              const QString &key, Converter<T> convert)
    {
        const auto found = object.constFind(key);
        if (found == object.constEnd() || found->isNull())
            return std::nullopt;
        T value = (this->*convert)(*found, memberPath(objectPath, key));
        return failed() ? std::nullopt : std::optional<T>(std::move(value));
    }

    template <typename T>
    QList<T> list(const QJsonValue &value, const QString &path, Converter<T> convert)
    {
        if (!value.isArray()) {
            fail(Kind::WrongType, path, QStringLiteral("array"));
            return {};
        }
        const QJsonArray array = value.toArray();
        QList<T> result;
        result.reserve(array.size());
        for (qsizetype index = 0; index < array.size() && !failed(); ++index) {
            const QJsonValue element = array.at(index);
            if (element.isNull())
                fail(Kind::NullValue, elementPath(path, index));
            else
                result.append((this->*convert)(element, elementPath(path, index)));
        }
        return result;
    }

    QJsonObject object(const QJsonValue &value, const QString &path)
    {
        if (!value.isObject())
            fail(Kind::WrongType, path, QStringLiteral("object"));
        return value.toObject();
    }

    QString string(const QJsonValue &value, const QString &path)
    {
        if (!value.isString())
            fail(Kind::WrongType, path, QStringLiteral("string"));
        return value.toString();
    }

    bool boolean(const QJsonValue &value, const QString &path)
    {
        if (!value.isBool())
            fail(Kind::WrongType, path, QStringLiteral("boolean"));
        return value.toBool();
    }

    // JSON has one number type: an integer is a number without a fractional part that fits.
    int integer(const QJsonValue &value, const QString &path)
    {
        if (value.isDouble()) {
            const double number = value.toDouble();
            if (std::isfinite(number) && std::trunc(number) == number && number >= INT_MIN &&
                number <= INT_MAX)
                return static_cast<int>(number);
        }
        fail(Kind::WrongType, path, QStringLiteral("integer"));
        return 0;
    }

    QStringList stringList(const QJsonValue &value, const QString &path)
    {
        return list(value, path, &Reader::string);
    }

    ManifestField field(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        if (failed())
            return {};
        ManifestField result;
        result.configKey = required(json, path, QStringLiteral("config_key"), &Reader::string);
        result.label = required(json, path, QStringLiteral("label"), &Reader::string);
        result.secret = required(json, path, QStringLiteral("secret"), &Reader::boolean);
        result.placeholder = optional(json, path, QStringLiteral("placeholder"), &Reader::string);
        result.prefix = optional(json, path, QStringLiteral("prefix"), &Reader::string);
        result.requiresHttps =
            optional(json, path, QStringLiteral("requires_https"), &Reader::boolean);
        return result;
    }

    QList<ManifestField> fieldList(const QJsonValue &value, const QString &path)
    {
        return list(value, path, &Reader::field);
    }

    ManifestHarness harness(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        if (failed())
            return {};
        ManifestHarness result;
        result.id = required(json, path, QStringLiteral("id"), &Reader::string);
        result.name = required(json, path, QStringLiteral("name"), &Reader::string);
        result.configPaths =
            required(json, path, QStringLiteral("config_paths"), &Reader::stringList);
        result.orvCommand = optional(json, path, QStringLiteral("orv_command"), &Reader::string);
        result.fundingGroup =
            optional(json, path, QStringLiteral("funding_group"), &Reader::string);
        return result;
    }

    QList<ManifestHarness> harnessList(const QJsonValue &value, const QString &path)
    {
        return list(value, path, &Reader::harness);
    }

    FundingOption option(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        if (failed())
            return {};
        FundingOption result;
        result.id = required(json, path, QStringLiteral("id"), &Reader::string);
        result.name = required(json, path, QStringLiteral("name"), &Reader::string);
        result.fields = required(json, path, QStringLiteral("fields"), &Reader::fieldList);
        return result;
    }

    QList<FundingOption> optionList(const QJsonValue &value, const QString &path)
    {
        return list(value, path, &Reader::option);
    }

    FundingGroup group(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        if (failed())
            return {};
        FundingGroup result;
        result.configKey = required(json, path, QStringLiteral("config_key"), &Reader::string);
        result.title = required(json, path, QStringLiteral("title"), &Reader::string);
        result.options = required(json, path, QStringLiteral("options"), &Reader::optionList);
        return result;
    }

    QMap<QString, FundingGroup> groupMap(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        QMap<QString, FundingGroup> result;
        for (auto member = json.constBegin(); member != json.constEnd() && !failed(); ++member) {
            const QString memberAt = memberPath(path, member.key());
            if (member->isNull())
                fail(Kind::NullValue, memberAt);
            else
                result.insert(member.key(), group(*member, memberAt));
        }
        return result;
    }

    AdvancedSection advanced(const QJsonValue &value, const QString &path)
    {
        const QJsonObject json = object(value, path);
        if (failed())
            return {};
        AdvancedSection result;
        result.title = required(json, path, QStringLiteral("title"), &Reader::string);
        result.description = required(json, path, QStringLiteral("description"), &Reader::string);
        result.fields = required(json, path, QStringLiteral("fields"), &Reader::fieldList);
        return result;
    }

    std::optional<ManifestDecodeError> m_error;
};

} // namespace

namespace ManifestDecoder {

std::expected<InstallManifest, ManifestDecodeError> decode(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return std::unexpected(ManifestDecodeError{Kind::InvalidJson, QString(),
                                                   parseError.errorString() +
                                                       QStringLiteral(" at offset ") +
                                                       QString::number(parseError.offset)});
    }
    if (!document.isObject())
        return std::unexpected(
            ManifestDecodeError{Kind::WrongType, QString(), QStringLiteral("object")});

    Reader reader;
    InstallManifest manifest = reader.manifest(document.object());
    if (reader.failed())
        return std::unexpected(reader.error());
    return manifest;
}

} // namespace ManifestDecoder

} // namespace Manifest
