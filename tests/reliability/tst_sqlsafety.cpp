// Every value reaches the engine as a bound parameter: in the sources, text
// put into an SQL statement (by .arg or +) is an identifier quoted by
// platform::quoteIdentifier, or one of the few fixed texts listed below.
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Token {
    enum Kind { String, Word, Punct } kind;
    QString text;
    int line;
};

// A small lexer of C++: string literals (adjacent ones joined), words and
// single punctuation characters; comments dropped.
QVector<Token> lex(const QString &src)
{
    QVector<Token> out;
    int line = 1;
    for (int i = 0; i < src.size();) {
        const QChar c = src[i];
        if (c == QLatin1Char('\n')) {
            ++line, ++i;
        } else if (c.isSpace()) {
            ++i;
        } else if (src.mid(i, 2) == QLatin1String("//")) {
            while (i < src.size() && src[i] != QLatin1Char('\n'))
                ++i;
        } else if (src.mid(i, 2) == QLatin1String("/*")) {
            const int end = src.indexOf(QLatin1String("*/"), i + 2);
            line += src.mid(i, end - i).count(QLatin1Char('\n'));
            i = end < 0 ? src.size() : end + 2;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            QString text;
            int j = i + 1;
            for (; j < src.size() && src[j] != c; ++j) {
                if (src[j] == QLatin1Char('\\'))
                    text += src[j++];
                text += src[j];
            }
            if (c == QLatin1Char('"') && !out.isEmpty() && out.last().kind == Token::String)
                out.last().text += text;
            else
                out << Token{c == QLatin1Char('"') ? Token::String : Token::Punct, text, line};
            i = j + 1;
        } else if (c.isLetterOrNumber() || c == QLatin1Char('_') || c.unicode() > 127) {
            int j = i;
            while (j < src.size() && (src[j].isLetterOrNumber() || src[j] == QLatin1Char('_') || src[j].unicode() > 127))
                ++j;
            out << Token{Token::Word, src.mid(i, j - i), line};
            i = j;
        } else {
            out << Token{Token::Punct, QString(c), line};
            ++i;
        }
    }
    return out;
}

QString joined(const QVector<Token> &t, int from, int to)
{
    QString s;
    for (int i = from; i < to; ++i)
        s += (t[i].kind == Token::String ? QLatin1Char('"') + t[i].text + QLatin1Char('"') : t[i].text)
             + (t[i].kind == Token::Word && i + 1 < to && t[i + 1].kind == Token::Word ? QStringLiteral(" ") : QString());
    return s;
}

// Fixed texts that reach SQL statements without quoteIdentifier, each built
// only from quoted identifiers, "?n" markers, SQL keywords or numbers.
const QStringList kAllowed = {
    // RecordSource: the select list (rowid and quoted columns), the quoted
    // table, the ORDER BY / WHERE clauses its own moves pass, the column and
    // marker lists of INSERT and UPDATE, marker numbers.
    QStringLiteral("RecordSource.cpp: selectList()"),
    QStringLiteral("RecordSource.cpp: where"),
    QStringLiteral("RecordSource.cpp: table"),
    QStringLiteral("RecordSource.cpp: cols.join(QStringLiteral(\", \"))"),
    QStringLiteral("RecordSource.cpp: marks.join(QStringLiteral(\", \"))"),
    QStringLiteral("RecordSource.cpp: sets.join(QStringLiteral(\", \"))"),
    QStringLiteral("RecordSource.cpp: i+1"),
    QStringLiteral("RecordSource.cpp: names.size()+1"),
    // Engine: a count around a caller's own statement; the column list of CREATE TABLE.
    QStringLiteral("Engine.cpp: sql"),
    QStringLiteral("Engine.cpp: cols.join(QStringLiteral(\", \"))"),
    // The quoted table name, kept in a variable.
    QStringLiteral("SerialAllocator.cpp: t"),
    QStringLiteral("SerialAllocator.cpp: clean"),
    QStringLiteral("ContactTableModel.cpp: quoted"),
    QStringLiteral("ContactTableModel.cpp: list.join(QStringLiteral(\", \"))"),
    QStringLiteral("ContactTableModel.cpp: kBlockRows+1"),
    // Conversion of old log files: the quoted columns and "?n" markers of its INSERT.
    QStringLiteral("Conversion.cpp: names.join(QStringLiteral(\", \"))"),
    QStringLiteral("Conversion.cpp: marks.join(QStringLiteral(\", \"))"),
};

// The places in one source file where text is put into SQL, other than
// quoted identifiers and allowed fixed texts; *statements counts SQL literals.
QStringList faultsIn(const QString &name, const QString &source, int *statements)
{
    static const QRegularExpression sqlWord(
        QStringLiteral("\\b(SELECT|INSERT|UPDATE|DELETE|CREATE|DROP|ALTER|PRAGMA|WHERE|VALUES|BEGIN|COMMIT|ROLLBACK)\\b"));
    static const QRegularExpression quoted(QStringLiteral("^(platform::)?quoteIdentifier\\(.*\\)$"));
    QStringList faults;
    const QVector<Token> t = lex(source);
    auto check = [&](const QString &expr, int line) {
        if (!quoted.match(expr).hasMatch() && !kAllowed.contains(name + QStringLiteral(": ") + expr))
            faults << QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(expr);
    };
    for (int i = 0; i < t.size(); ++i) {
        if (t[i].kind != Token::String || !sqlWord.match(t[i].text).hasMatch())
            continue;
        ++*statements;
        int j = i + 1;
        const bool wrapped = i >= 2 && t[i - 1].text == QLatin1String("(") && t[i - 2].kind == Token::Word
                             && j < t.size() && t[j].text == QLatin1String(")");
        if (wrapped)
            ++j; // QStringLiteral("...")
        const int before = i - (wrapped ? 3 : 1);
        if (before >= 0 && t[before].text == QLatin1String("+"))
            faults << QStringLiteral("%1:%2: text added in front of SQL").arg(name).arg(t[i].line);
        if (j < t.size() && t[j].text == QLatin1String("+"))
            faults << QStringLiteral("%1:%2: text added after SQL").arg(name).arg(t[i].line);
        // Each argument of each .arg( a, b ) of the chain.
        while (j + 2 < t.size() && t[j].text == QLatin1String(".") && t[j + 1].text == QLatin1String("arg")
               && t[j + 2].text == QLatin1String("(")) {
            int depth = 0, start = j + 3;
            for (j += 2; j < t.size(); ++j) {
                const QString &p = t[j].text;
                const bool punct = t[j].kind == Token::Punct;
                if (punct && (p == QLatin1String("(") || p == QLatin1String("{")))
                    ++depth;
                else if (punct && (p == QLatin1String(")") || p == QLatin1String("}")))
                    --depth;
                if (depth == 0 || (depth == 1 && punct && p == QLatin1String(","))) {
                    check(joined(t, start, j), t[start].line);
                    start = j + 1;
                    if (depth == 0)
                        break;
                }
            }
            ++j;
        }
    }
    return faults;
}

} // namespace

class TestSqlSafety : public QObject
{
    Q_OBJECT
private slots:
    void checkerFindsBuiltSql_data();
    void checkerFindsBuiltSql();
    void valuesAreNeverPutInSql();
};

void TestSqlSafety::checkerFindsBuiltSql_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("faults");
    QTest::newRow("value by arg") << QStringLiteral("q(QStringLiteral(\"SELECT * FROM t WHERE a = '%1'\").arg(serial));") << 1;
    QTest::newRow("value added") << QStringLiteral("q(QStringLiteral(\"DELETE FROM t WHERE a = \") + v);") << 1;
    QTest::newRow("value in front") << QStringLiteral("q(v + \" WHERE x\");") << 1;
    QTest::newRow("two values") << QStringLiteral("q(QStringLiteral(\"INSERT INTO %1 VALUES (%2, %3)\").arg(quoteIdentifier(t), a, b));") << 2;
    QTest::newRow("quoted identifiers") << QStringLiteral("q(QStringLiteral(\"SELECT %1 FROM %2\")\n.arg(quoteIdentifier(c), platform::quoteIdentifier(f(t))));") << 0;
    QTest::newRow("bound value") << QStringLiteral("q(QStringLiteral(\"SELECT a FROM t WHERE b = ?1\"), {v}); // \" + v") << 0;
}

void TestSqlSafety::checkerFindsBuiltSql()
{
    QFETCH(QString, source);
    QFETCH(int, faults);
    int statements = 0;
    QCOMPARE(faultsIn(QStringLiteral("x.cpp"), source, &statements).size(), faults);
    QCOMPARE(statements, 1);
}

void TestSqlSafety::valuesAreNeverPutInSql()
{
    QStringList faults;
    int statements = 0;
    QDirIterator it(QStringLiteral(SEQUANEL_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        faults << faultsIn(QFileInfo(file).fileName(), QString::fromUtf8(f.readAll()), &statements);
    }
    QVERIFY2(statements > 20, "the sources were not found");
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("SQL built from values:\n") + faults.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestSqlSafety)
#include "tst_sqlsafety.moc"
