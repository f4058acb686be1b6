// orvane-snapshots OUTDIR [--scale N] [--no-fonts] [--compare REFDIR]: renders every screen and
// notable state of the program to OUTDIR/<state>.png with the real widgets on the offscreen
// platform and fixed sample data. Exits non-zero when a state cannot be rendered, shows a text
// that does not fit its box, or (with --compare) differs by a pixel from REFDIR/<state>.png or
// has no picture there (said on standard error). After a deliberate change to a screen, render
// into REFDIR and look at the pictures before committing them.
#include "Snapshot.h"

#include "app/FontRegistration.h"

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Pictures never need a display; an explicit platform in the environment still wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    qreal scale = 1;
    if (const qsizetype at = args.indexOf(QStringLiteral("--scale")); at >= 0 && at + 1 < args.size()) {
        scale = args.at(at + 1).toDouble();
        args.remove(at, 2);
    }
    QString references;
    if (const qsizetype at = args.indexOf(QStringLiteral("--compare")); at >= 0 && at + 1 < args.size()) {
        references = args.at(at + 1);
        args.remove(at, 2);
    }
    // --no-fonts: the screens as a system without the Archivo files shows them.
    const bool fonts = !args.removeOne(QStringLiteral("--no-fonts"));
    if (args.size() != 1 || scale < 1 || scale != qRound(scale)) {
        std::fprintf(stderr, "usage: orvane-snapshots OUTDIR [--scale N] [--no-fonts] [--compare REFDIR]"
                             "  (N a whole number)\n");
        return 2;
    }
    const QDir out(args.first());
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    if (fonts && App::FontRegistration::registerFonts() == 0) {
        std::fprintf(stderr, "warning: the Archivo faces were not found; using fallbacks\n");
        // The references show the Archivo faces; fallbacks differ from system to system.
        if (!references.isEmpty())
            std::fprintf(stderr, "warning: not compared with %s\n", qPrintable(references));
        references.clear();
    }

    QList<Snapshots::Snapshot> all = Snapshots::wizardSnapshots() + Snapshots::launcherSnapshots() +
                                      Snapshots::pillSnapshots();
    int failures = 0;
    for (const Snapshots::Snapshot &snapshot : all) {
        const QString file = out.filePath(snapshot.name + QStringLiteral(".png"));
        std::unique_ptr<QWidget> widget = snapshot.build();
        const QImage image = widget ? Snapshots::render(*widget, snapshot.size, scale) : QImage();
        if (image.isNull() || !image.save(file)) {
            std::fprintf(stderr, "failed: %s\n", qPrintable(snapshot.name));
            ++failures;
            continue;
        }
        std::printf("%s\n", qPrintable(file));
        if (!references.isEmpty()) {
            const QImage reference(QDir(references).filePath(snapshot.name + QStringLiteral(".png")));
            if (reference.isNull()) {
                std::fprintf(stderr, "no reference picture for %s\n", qPrintable(snapshot.name));
                ++failures;
            } else if (reference.convertToFormat(image.format()) != image) {
                std::fprintf(stderr, "%s differs from its reference\n", qPrintable(snapshot.name));
                ++failures;
            }
        }
        // Rendering left the widget laid out at its size.
        for (const QString &text : Snapshots::clippedTexts(*widget)) {
            std::fprintf(stderr, "clipped in %s: %s\n", qPrintable(snapshot.name), qPrintable(text));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
