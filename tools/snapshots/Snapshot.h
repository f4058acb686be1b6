#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace Snapshots {

// One picture: a file name (without ".png") and the widget that shows the state, built with
// fixed sample data. The tool owns the widget and renders it at `size` points.
struct Snapshot
{
    QString name;
    std::function<std::unique_ptr<QWidget>()> build;
    QSize size{720, 560};
};

// The setup window's screens, each over the window's backdrop as the window shows it.
QList<Snapshot> wizardSnapshots();
// The launcher screen: versions, copy mark, command card, Claude Desktop notice, busy, error.
QList<Snapshot> launcherSnapshots();

// The overlay's pill in its notable states, cropped to the pill's own box (no shadow margin).
QList<Snapshot> pillSnapshots();

// The texts of buttons and labels shown in `widget` (laid out) that do not fit their box.
QStringList clippedTexts(const QWidget &widget);

// Lays `widget` out at `size`, lets it settle and draws it at `scale` device pixels per point.
QImage render(QWidget &widget, QSize size, qreal scale);

} // namespace Snapshots
