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
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        const QDir corpora(QStringLiteral(ORVANE_FUZZ_CORPUS));
        for (const Fuzz::FuzzTarget &target : Fuzz::fuzzTargets()) {
            const QString name = QString::fromLatin1(target.name.data(), target.name.size());
            const QDir corpus(corpora.filePath(name));
            const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
            // A target whose corpus went missing would otherwise pass by replaying nothing.
            QVERIFY2(files.size() >= 3, qPrintable(name + QStringLiteral(" has no corpus")));
            for (const QString &file : files) {
                QTest::addRow("%s/%s", qPrintable(name), qPrintable(file))
                    << name << corpus.filePath(file);
            }
        }
    }

    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        const Fuzz::FuzzTarget *entry = Fuzz::findFuzzTarget(target.toStdString());
        QVERIFY(entry);
        QFile input(file);
        QVERIFY(input.open(QIODevice::ReadOnly));
        if (entry->run(input.readAll()))
            m_accepted.insert(target);
        else
            m_refused.insert(target);
    }

    // Each corpus holds inputs its reader accepts and inputs it refuses, so the replay reaches
    // past the first check of every reader.
    void corporaReachBothOutcomes()
    {
        for (const Fuzz::FuzzTarget &target : Fuzz::fuzzTargets()) {
            const QString name = QString::fromLatin1(target.name.data(), target.name.size());
            QVERIFY2(m_accepted.contains(name), qPrintable(name));
            QVERIFY2(m_refused.contains(name), qPrintable(name));
        }
    }

    // Inputs every reader refuses, run through the entry points directly.
    void emptyAndDeepInputsAreRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("input");
        for (const Fuzz::FuzzTarget &target : Fuzz::fuzzTargets()) {
            const QString name = QString::fromLatin1(target.name.data(), target.name.size());
            QTest::addRow("%s empty", qPrintable(name)) << name << QByteArray();
            QTest::addRow("%s white space", qPrintable(name)) << name << QByteArray(" \t\r\n");
            // Far deeper than any JSON parser's nesting limit.
            QTest::addRow("%s deep", qPrintable(name))
                << name << QByteArray(100000, '[') + QByteArray(100000, ']');
        }
    }

    void emptyAndDeepInputsAreRefused()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, input);
        const Fuzz::FuzzTarget *entry = Fuzz::findFuzzTarget(target.toStdString());
        QVERIFY(entry);
        // The cleaner keeps the brackets as text; every other reader wants a JSON object.
        const bool expected = target == QLatin1String("output-cleaner") && input.startsWith('[');
        QCOMPARE(entry->run(input), expected);
    }

private:
    QSet<QString> m_accepted;
    QSet<QString> m_refused;
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
