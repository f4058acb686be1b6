#include "FuzzTargets.h"

#include "TranscriptTargets.h"

#include "manifest/ManifestDecoder.h"
#include "manifest/ManifestLoader.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayStatus.h"
#include "setup/ExistingInstallations.h"
#include "setup/OutputCollector.h"
#include "setup/RouterVersions.h"
#include "setup/VersionInfo.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace Fuzz {

namespace {

// Stops the run with the broken promise named; libFuzzer then saves the input.
void require(bool condition, const char *promise)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz target broke a promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

// The readers of files in the home directory are driven through their public functions, file
// and all: one private directory per process stands in for the home directory.
const QString &scratchHome()
{
    static QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/orvane-fuzz-XXXXXX"));
    static const QString path = [] {
        require(directory.isValid(), "a private temporary directory can be made");
        return directory.path();
    }();
    return path;
}

// A new file each time: truncating a file that has data makes ext4 flush it on close, which
// made these targets three times slower.
void writeFile(const QString &path, QByteArrayView contents)
{
    static QSet<QString> folders;
    const QString folder = QFileInfo(path).absolutePath();
    if (!folders.contains(folder)) {
        require(QDir().mkpath(folder), "the scratch folder is made");
        folders.insert(folder);
    }
    QFile::remove(path);
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::NewOnly), "the scratch file opens");
    require(file.write(contents.data(), contents.size()) == contents.size(),
            "the scratch file is written");
}

// The strict decoder and the loader's decode agree: the loader only adds the format version.
bool manifest(QByteArrayView input)
{
    const QByteArray json = input.toByteArray();
    const auto decoded = Manifest::ManifestDecoder::decode(json);
    const auto loaded = Manifest::ManifestLoader::decode(json);
    if (!decoded) {
        require(!loaded && std::holds_alternative<Manifest::ManifestDecodeError>(loaded.error()) &&
                    std::get<Manifest::ManifestDecodeError>(loaded.error()) == decoded.error(),
                "the loader reports the decoder's error unchanged");
        require(decoded.error().kind != Manifest::ManifestDecodeError::Kind::WrongType ||
                    !decoded.error().detail.isEmpty(),
                "a wrong type names the type wanted");
        return false;
    }
    if (decoded->schemaVersion == Manifest::ManifestLoader::supportedSchemaVersion)
        require(loaded && *loaded == *decoded, "a supported manifest loads as decoded");
    else
        require(!loaded && std::holds_alternative<Manifest::ManifestError>(loaded.error()),
                "another format version is refused");

    // The decoded rules then judge what the user types; the input itself serves as the value.
    const QString typed = QString::fromUtf8(json);
    const auto judge = [&typed](const QList<Manifest::ManifestField> &fields) {
        for (const Manifest::ManifestField &field : fields) {
            const auto message = field.validate(typed);
            require(!message || message->startsWith(field.label),
                    "a validation message starts with the field's label");
            require(!field.validate(QString()), "an empty value is acceptable");
        }
    };
    for (const Manifest::FundingGroup &group : decoded->fundingGroups) {
        for (const Manifest::FundingOption &option : group.options)
            judge(option.fields);
    }
    judge(decoded->advanced.fields);
    return true;
}

// A record the reader accepts or not, and hasExistingInstall() agrees with it.
bool installations(QByteArrayView input)
{
    const QString path = scratchHome() + QStringLiteral("/installations.json");
    writeFile(path, input);
    const QList<Setup::ExistingHarness> harnesses = Setup::readExistingHarnesses(path);
    require(Setup::hasExistingInstall(path) == !harnesses.isEmpty(),
            "an existing install is a non-empty list");
    for (const Setup::ExistingHarness &harness : harnesses) {
        require(!harness.funding || harness.id == QLatin1String("claude-code") ||
                    harness.id == QLatin1String("codex"),
                "only the two known harnesses carry funding");
    }
    return !harnesses.isEmpty();
}

// The installed version, and the version comparison it feeds: a version equals itself and
// comparing two versions both ways gives opposite answers.
bool runtimePackage(QByteArrayView input)
{
    static const bool homeSet = qputenv("HOME", scratchHome().toUtf8());
    require(homeSet, "HOME can be set");
    writeFile(scratchHome() + QStringLiteral("/.local/share/orvane/runtime/package.json"), input);
    const std::optional<QString> version = Setup::installedRouterVersion();
    // Without a readable version the input still serves as one, so the comparison is always
    // exercised.
    const QString mine = version.value_or(QString::fromUtf8(input.toByteArray()));
    require(Setup::compareVersions(mine, mine) == Setup::VersionOrder::Same,
            "a version equals itself");
    static const std::array<QString, 4> others = {QString(), QStringLiteral("1.2.3"),
                                                  QStringLiteral("-1.9223372036854775807"),
                                                  QStringLiteral("2.0.0-beta.1")};
    for (const QString &other : others) {
        const auto forward = Setup::compareVersions(mine, other);
        const auto backward = Setup::compareVersions(other, mine);
        require((forward == Setup::VersionOrder::Same) == (backward == Setup::VersionOrder::Same) &&
                    (forward == Setup::VersionOrder::Ascending) ==
                        (backward == Setup::VersionOrder::Descending),
                "comparing both ways gives opposite answers");
    }
    return version.has_value();
}

// The router's configuration file, and the status URL its base URL makes.
bool routerConfig(QByteArrayView input)
{
    writeFile(Gateway::gatewayConfigPath(scratchHome()), input);
    const auto config = Gateway::readGatewayConfig(scratchHome());
    if (!config)
        return false;
    require(!config->baseUrl.isEmpty() && !config->apiKey.isEmpty(),
            "an accepted configuration has a base URL and a key");
    const auto url = Gateway::statusLineUrl(config->baseUrl, QStringLiteral("claude-code"),
                                            QStringLiteral("desktop"));
    if (!url)
        return true;
    require(url->isValid(), "a status URL is valid");
    require(url->query() == QLatin1String("harness=claude-code&surface=desktop"),
            "the base URL cannot change the status query");
    return true;
}

// A decoded counter is the JSON's number exactly, whole and within 64 bits.
bool gatewayStatus(QByteArrayView input)
{
    const QByteArray body = input.toByteArray();
    const auto status = Gateway::decodeGatewayStatus(body);
    if (!status)
        return false;
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    for (const auto &[key, counter] : {std::pair{"asks_open", status->asksOpen},
                                       std::pair{"answers_fresh", status->answersFresh}}) {
        const QJsonValue value = object.value(QLatin1String(key));
        require(counter.has_value() == value.isDouble(), "a counter is decoded from a number");
        if (counter)
            require(static_cast<double>(*counter) == value.toDouble(),
                    "a counter keeps the number's value");
    }
    return true;
}

// The cleaning as documented, written out by hand: colour/cursor sequences (ESC [ digits and
// semicolons, one ASCII letter) and window titles (ESC ] up to the first BEL) are dropped
// wherever they start, scanning from the left; whatever else is kept.
QString referenceClean(const QByteArray &bytes)
{
    const QString in = QString::fromUtf8(bytes);
    const auto at = [&in](qsizetype i) { return i < in.size() ? in.at(i).unicode() : char16_t(0); };
    QString out;
    for (qsizetype i = 0; i < in.size();) {
        if (at(i) == 0x1B && at(i + 1) == u'[') {
            qsizetype j = i + 2;
            while ((at(j) >= u'0' && at(j) <= u'9') || at(j) == u';')
                ++j;
            if ((at(j) >= u'a' && at(j) <= u'z') || (at(j) >= u'A' && at(j) <= u'Z')) {
                i = j + 1;
                continue;
            }
        }
        if (at(i) == 0x1B && at(i + 1) == u']') {
            const qsizetype bell = in.indexOf(QChar(0x07), i + 2);
            if (bell >= 0) {
                i = bell + 1;
                continue;
            }
        }
        out.append(in.at(i));
        ++i;
    }
    return out.trimmed();
}

// The installer's output as the wizard shows it: what the hand-written cleaning gives, trimmed,
// never longer than the bytes it came from (a byte decodes to at most one UTF-16 unit, four
// bytes to two).
bool outputCleaner(QByteArrayView input)
{
    const QByteArray bytes = input.toByteArray();
    const QString text = Setup::cleanOutput(bytes);
    require(text == referenceClean(bytes), "the cleaner drops exactly the escape sequences");
    require(text == text.trimmed(), "the text is trimmed");
    require(text.size() <= bytes.size(), "the text is no longer than its bytes");

    // The collector gives the same text however the bytes arrive.
    Setup::OutputCollector collector;
    const qsizetype half = bytes.size() / 2;
    collector.append(bytes.left(half));
    collector.append(QByteArray());
    collector.append(bytes.mid(half));
    require(collector.text() == text, "collected output reads as cleaned output");
    return !text.isEmpty();
}

constexpr std::array targets = {
    FuzzTarget{"manifest", manifest},
    FuzzTarget{"installations", installations},
    FuzzTarget{"runtime-package", runtimePackage},
    FuzzTarget{"router-config", routerConfig},
    FuzzTarget{"gateway-status", gatewayStatus},
    FuzzTarget{"output-cleaner", outputCleaner},
    FuzzTarget{"transcript-claude", transcriptClaude},
    FuzzTarget{"transcript-codex", transcriptCodex},
};

} // namespace

std::span<const FuzzTarget> fuzzTargets()
{
    return targets;
}

const FuzzTarget *findFuzzTarget(std::string_view name)
{
    for (const FuzzTarget &target : targets) {
        if (target.name == name)
            return &target;
    }
    return nullptr;
}

} // namespace Fuzz
