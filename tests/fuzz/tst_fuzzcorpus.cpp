#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

// Every input the fuzzers kept, and every input that once broke a reader, runs through the same
// entry point again. A reader that crashes, trips a sanitizer or breaks one of the promises the
// entry points check ends this test.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replay()
    {
        const QDir corpora(QStringLiteral(ORVANE_FUZZ_CORPUS));
        for (const Fuzz::FuzzTarget &target : Fuzz::fuzzTargets()) {
            QCOMPARE(Fuzz::findFuzzTarget(target.name), &target);
            const QDir corpus(corpora.filePath(QString::fromLatin1(target.name)));
            // Each corpus holds inputs its reader accepts and inputs it refuses, so the replay
            // reaches past the first check of every reader (and a missing corpus is noticed).
            QSet<bool> outcomes;
            for (const QString &file : corpus.entryList(QDir::Files)) {
                QFile input(corpus.filePath(file));
                QVERIFY(input.open(QIODevice::ReadOnly));
                outcomes.insert(target.run(input.readAll()));
            }
            QVERIFY2(outcomes.size() == 2, qPrintable(corpus.path()));
            // Empty, blank and far deeper than any JSON parser's nesting limit: refused, but the
            // cleaner keeps the brackets as text.
            const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
            QVERIFY(!target.run({}) && !target.run(" \t\r\n"));
            QCOMPARE(target.run(deep), target.name == "output-cleaner");
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
