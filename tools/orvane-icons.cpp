// Renders the application icon from the app mark into a hicolor icon theme folder:
//   orvane-icons OUTPUT_DIR SIZE...
// writes OUTPUT_DIR/<SIZE>x<SIZE>/apps/orvane.png for each size. Run at build time, on the
// offscreen platform, so the installed icons are the very mark the program draws.
#include "design/AppMark.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

QImage render(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The same margins as the window icon: room at the sides and below for the mark's shadow.
    const qreal inset = size * 0.06;
    Design::AppMark::paint(painter, QRectF(inset, inset * 0.5, size - 2 * inset, size - 2 * inset));
    painter.end();
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fputs("usage: orvane-icons OUTPUT_DIR SIZE...\n", stderr);
        return 2;
    }
    const QDir output(arguments.at(1));
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        bool ok = false;
        const int size = arguments.at(i).toInt(&ok);
        if (!ok || size < 16 || size > 1024) {
            std::fprintf(stderr, "orvane-icons: not an icon size: %s\n", qPrintable(arguments.at(i)));
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = output.filePath(folder + QStringLiteral("/orvane.png"));
        if (!output.mkpath(folder) || !render(size).save(file, "PNG")) {
            std::fprintf(stderr, "orvane-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
