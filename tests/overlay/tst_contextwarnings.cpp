#include "overlay/ContextWarnings.h"
#include "support/RecordingNotifier.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One step: the conversation (a transcript path) and its context fraction.
using Step = std::pair<QByteArray, std::optional<double>>;

} // namespace

class TestContextWarnings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void warnings_data();
    void warnings();
    void thresholds_data();
    void thresholds();
};

void TestContextWarnings::warnings_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("each threshold once per conversation, again in the next one")
        << QVariant() << QList<Step>{{"a", 0.5}, {"a", 0.813}, {"a", 0.85}, {"a", 0.7},
                                     {"a", 0.86}, {"a", 0.95}, {"a", 0.99}, {"b", 0.3},
                                     {"b", 0.9}, {"b", 0.91}}
        << QStringList{u"Claude · context 81 % full"_s, u"Claude · context 95 % full"_s,
                       u"Claude · context 90 % full"_s};
    QTest::newRow("a jump past both: one; no window yet counts as none reached")
        << QVariant() << QList<Step>{{"a", std::nullopt}, {"a", 0.97}, {"a", 1.0}}
        << QStringList{u"Claude · context 97 % full"_s};
    QTest::newRow("a conversation first seen past a threshold: only the next one")
        << QVariant() << QList<Step>{{"a", 0.9}, {"a", 0.93}, {"a", 0.951}}
        << QStringList{u"Claude · context 95 % full"_s};
    QTest::newRow("an empty setting: none")
        << QVariant(u""_s) << QList<Step>{{"a", 0.5}, {"a", 0.9}, {"a", 1.0}} << QStringList{};
}

// Exactly the notifications expected, each with the same explanation.
void TestContextWarnings::warnings()
{
    QFETCH(QVariant, setting);
    QFETCH(QList<Step>, steps);
    QFETCH(QStringList, shown);
    RecordingNotifier said;
    Overlay::ContextWarnings warnings(&said, Overlay::ContextWarnings::thresholdsFrom(setting));
    for (const auto &[conversation, fraction] : steps)
        warnings.update(conversation, u"Claude"_s, fraction);
    QCOMPARE(said.lines.replaceInStrings(u"|Near the model’s limit, older turns get summarised or "
                                         "dropped; a new conversation starts with an empty context."_s, QString()),
             shown);
}

void TestContextWarnings::thresholds_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QList<int>>("thresholds");
    QTest::newRow("not set") << QVariant() << QList<int>{80, 95}; // empty: the warnings' row
    QTest::newRow("one") << QVariant(u"90"_s) << QList<int>{90};
    QTest::newRow("sorted, repeats and others dropped")
        << QVariant(QStringList{u"95"_s, u" 70"_s, u"95"_s, u"x"_s, u"0"_s, u"101"_s, u"5.5"_s})
        << QList<int>{70, 95};
}

void TestContextWarnings::thresholds()
{
    QFETCH(QVariant, setting);
    QFETCH(QList<int>, thresholds);
    QCOMPARE(Overlay::ContextWarnings::thresholdsFrom(setting), thresholds);
}

QTEST_GUILESS_MAIN(TestContextWarnings)
#include "tst_contextwarnings.moc"
