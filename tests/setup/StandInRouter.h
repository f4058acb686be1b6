#pragma once

#include "support/HttpTestServer.h"

#include <QProcess>
#include <QTest>

// Packs the stand-in router package of tests/setup/fixtures into `folder` and has `registry`
// serve it as the package "orvane", version 1.4.0, the way npm asks for it.
inline void serveStandInRouter(HttpTestServer &registry, const QString &fixtures,
                               const QString &folder)
{
    QProcess pack;
    pack.setStandardOutputFile(QProcess::nullDevice()); // it names the file it wrote
    pack.start(QStringLiteral("npm"),
               {QStringLiteral("pack"), fixtures + QStringLiteral("/orvane-router"),
                QStringLiteral("--pack-destination"), folder});
    QVERIFY(pack.waitForFinished(60'000));
    QCOMPARE(pack.exitCode(), 0);
    QFile tarball(folder + QStringLiteral("/orvane-1.4.0.tgz"));
    QVERIFY(tarball.open(QIODevice::ReadOnly));
    const QByteArray manifest =
        QStringLiteral(
            R"({"name":"orvane","version":"1.4.0","bin":{"orvane":"bin/orvane.js","orv":"bin/orv.js"},"dist":{"tarball":"%1/orvane/-/orvane-1.4.0.tgz"}})")
            .arg(registry.url())
            .toUtf8();
    registry.routes = {
        {QStringLiteral("/orvane"),
         {200, R"({"name":"orvane","dist-tags":{"latest":"1.4.0"},"versions":{"1.4.0":)" +
                   manifest + "}}"}},
        {QStringLiteral("/orvane/latest"), {200, manifest}},
        {QStringLiteral("/orvane/-/orvane-1.4.0.tgz"), {200, tarball.readAll()}}};
}
