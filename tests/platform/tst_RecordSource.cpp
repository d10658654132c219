// The record source over a real log file: the cursor at both ends, the
// position after each change, the column rules on update, refused openings,
// and the durability settings of its connection.
#include "LogFile.h"
#include "RecordSource.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using platform::EditMode;
using platform::RecordSource;
using platform::SourceError;
using testsupport::readRows;
using testsupport::sampleRow;

Q_DECLARE_METATYPE(SourceError::Kind)

namespace {

// The sixteen columns bound to controls of the three kinds a window uses.
class Form
{
public:
    explicit Form(RecordSource &rs)
    {
        for (const QString &c : logfile::columnNames()) {
            QWidget *w = new QLineEdit;
            if (c == QLatin1String("Pays")) {
                delete w;
                w = new QLabel;
            } else if (c == QLatin1String("Hertz")) {
                delete w;
                auto *combo = new QComboBox;
                combo->setEditable(true);
                combo->addItems({"005", "015", "205"});
                w = combo;
            }
            m_widgets.emplace_back(w);
            rs.bind(w, c);
        }
    }
    QWidget *widget(const QString &column) const
    {
        return m_widgets.at(logfile::columnNames().indexOf(column)).get();
    }
    QString text(const QString &column) const
    {
        QWidget *w = widget(column);
        return w->property(qobject_cast<QComboBox *>(w) ? "currentText" : "text").toString();
    }
    void setText(const QString &column, const QString &text)
    {
        if (auto *c = qobject_cast<QComboBox *>(widget(column)))
            c->setEditText(text);
        else
            widget(column)->setProperty("text", text);
    }
    QStringList texts() const
    {
        QStringList out;
        for (const QString &c : logfile::columnNames())
            out << text(c);
        return out;
    }
    QString serial() const { return text(QStringLiteral("Sequanel")); }

private:
    std::vector<std::unique_ptr<QWidget>> m_widgets;
};

QVector<testsupport::Row> sampleRows(int n)
{
    QVector<testsupport::Row> rows;
    for (int i = 1; i <= n; ++i)
        rows << sampleRow(i);
    return rows;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestRecordSource : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void emptyTable();
    void bothEnds_data();
    void bothEnds();
    void positionAfterAddition_data();
    void positionAfterAddition();
    void editAndCancel();
    void deleteThenMove();
    void columnRules_data();
    void columnRules();
    void refusedOpening_data();
    void refusedOpening();
    void durability();

private:
    // A log file with n sample rows, opened through rs (first row current).
    QString open(int n, const QString &name = QStringLiteral("log.adb"));

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordSource> m_rs;
    std::unique_ptr<Form> m_form;
    std::unique_ptr<testsupport::LocaleScope> m_locale;
};

void TestRecordSource::initTestCase()
{
    m_locale = std::make_unique<testsupport::LocaleScope>(QLocale(QLocale::French, QLocale::France));
}

void TestRecordSource::init()
{
    m_form.reset();
    m_rs.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_rs = std::make_unique<RecordSource>();
    m_form = std::make_unique<Form>(*m_rs);
}

QString TestRecordSource::open(int n, const QString &name)
{
    const QString path = m_dir->filePath(name);
    testsupport::makeLogFile(path, sampleRows(n));
    logfile::configure(*m_rs, path);
    if (!m_rs->refresh())
        qWarning() << logfile::openFailureMessage(m_rs->error(), path);
    return path;
}

void TestRecordSource::emptyTable()
{
    open(0);
    QVERIFY(m_rs->isOpen());
    QCOMPARE(m_rs->recordCount(), 0);
    QVERIFY(m_rs->bof() && m_rs->eof() && !m_rs->hasCurrent());
    QVERIFY(!m_rs->moveFirst());
    QVERIFY(!m_rs->moveLast());
    m_rs->moveNext();
    m_rs->movePrevious();
    QVERIFY(m_rs->bof() && m_rs->eof() && !m_rs->hasCurrent());
    QVERIFY(!m_rs->edit());
    QVERIFY(!m_rs->deleteCurrent());
    QCOMPARE(m_form->texts(), QStringList(16, QString()));
}

void TestRecordSource::bothEnds_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("one row") << 1;
    QTest::newRow("three rows") << 3;
}

void TestRecordSource::bothEnds()
{
    QFETCH(int, rows);
    open(rows);
    const QString last = QString::number(rows);
    QCOMPARE(m_rs->recordCount(), rows);
    QVERIFY(m_rs->hasCurrent() && !m_rs->bof() && !m_rs->eof());
    QCOMPARE(m_form->serial(), QStringLiteral("1"));

    // Forward to the last row, then once more: end of file, no current row,
    // the controls still show the last row.
    for (int i = 2; i <= rows; ++i) {
        QVERIFY(m_rs->moveNext());
        QCOMPARE(m_form->serial(), QString::number(i));
    }
    QVERIFY(!m_rs->eof());
    m_rs->moveNext();
    QVERIFY(m_rs->eof() && !m_rs->bof() && !m_rs->hasCurrent());
    QVERIFY(m_rs->value(QStringLiteral("Sequanel")).isNull());
    QCOMPARE(m_form->serial(), last);
    QCOMPARE(m_form->text(QStringLiteral("Pays")), QStringLiteral("France"));
    QVERIFY(!m_rs->moveNext());
    QVERIFY(m_rs->eof() && !m_rs->hasCurrent());
    QVERIFY(!m_rs->edit());
    QCOMPARE(m_rs->error().kind, SourceError::NoCurrentRow);

    // Back from end of file: the last row.
    QVERIFY(m_rs->movePrevious());
    QVERIFY(m_rs->hasCurrent() && !m_rs->eof() && !m_rs->bof());
    QCOMPARE(m_form->serial(), last);
    QCOMPARE(m_rs->value(QStringLiteral("Sequanel")).toString(), last);

    // The same at the other end.
    QVERIFY(m_rs->moveFirst());
    m_rs->movePrevious();
    QVERIFY(m_rs->bof() && !m_rs->eof() && !m_rs->hasCurrent());
    QCOMPARE(m_form->serial(), QStringLiteral("1"));
    QVERIFY(!m_rs->movePrevious());
    QVERIFY(m_rs->moveNext());
    QCOMPARE(m_form->serial(), QStringLiteral("1"));
    QVERIFY(m_rs->moveLast());
    QCOMPARE(m_form->serial(), last);
    QCOMPARE(m_form->text(QStringLiteral("Date")), QStringLiteral("%1/03/2024 10:%2:00").arg(1 + rows, 2, 10, QLatin1Char('0')).arg(rows, 2, 10, QLatin1Char('0')));
}

void TestRecordSource::positionAfterAddition_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("nexts");      // moveNext calls after opening
    QTest::addColumn<QString>("current"); // serial current after update; empty: none
    QTest::newRow("empty table") << 0 << 0 << "";
    QTest::newRow("on the first row") << 3 << 0 << "1";
    QTest::newRow("on a middle row") << 3 << 1 << "2";
    QTest::newRow("on the last row") << 3 << 2 << "3";
    QTest::newRow("at end of file") << 3 << 3 << "";
}

void TestRecordSource::positionAfterAddition()
{
    QFETCH(int, rows);
    QFETCH(int, nexts);
    QFETCH(QString, current);
    const QString path = open(rows);
    for (int i = 0; i < nexts; ++i)
        m_rs->moveNext();
    const bool bof = m_rs->bof(), eof = m_rs->eof();

    QVERIFY(m_rs->addNew());
    QCOMPARE(m_rs->editMode(), EditMode::Adding);
    QCOMPARE(m_form->texts(), QStringList(16, QString()));
    m_form->setText(QStringLiteral("Sequanel"), QStringLiteral("900"));
    // An hour that the local clock skips in spring still stores and shows.
    m_form->setText(QStringLiteral("Date"), QStringLiteral("31/03/2024 02:30:00"));
    QVERIFY2(m_rs->update(), qPrintable(logfile::storeFailureMessage(m_rs->error())));
    QCOMPARE(m_rs->editMode(), EditMode::None);

    QCOMPARE(m_rs->hasCurrent(), !current.isEmpty());
    if (!current.isEmpty()) {
        QCOMPARE(m_form->serial(), current);
        QCOMPARE(m_rs->value(QStringLiteral("Sequanel")).toString(), current);
    } else {
        QCOMPARE(m_rs->bof(), bof);
        QCOMPARE(m_rs->eof(), eof);
    }
    QCOMPARE(m_rs->recordCount(), rows + 1);
    const auto stored = readRows(path);
    QCOMPARE(stored.size(), rows + 1);
    QCOMPARE(stored.last().value(0).toString(), QStringLiteral("2024-03-31 02:30:00"));
    QCOMPARE(stored.last().value(1).toString(), QStringLiteral("900"));
    QVERIFY(stored.last().value(2).isNull()); // an empty control stores nothing
    QVERIFY(m_rs->moveLast());
    QCOMPARE(m_form->serial(), QStringLiteral("900"));
    QCOMPARE(m_form->text(QStringLiteral("Date")), QStringLiteral("31/03/2024 02:30:00"));
}

void TestRecordSource::editAndCancel()
{
    const QString path = open(3);
    QVERIFY(m_rs->moveNext());
    const auto id = m_rs->currentRowid();

    QVERIFY(m_rs->edit());
    m_form->setText(QStringLiteral("Ville"), QStringLiteral("Saint-Étienne"));
    QVERIFY(m_rs->update());
    QCOMPARE(m_rs->currentRowid(), id);
    QCOMPARE(m_form->serial(), QStringLiteral("2"));
    QCOMPARE(m_form->text(QStringLiteral("Ville")), QStringLiteral("Saint-Étienne"));
    QCOMPARE(readRows(path).at(1).at(12).toString(), QStringLiteral("Saint-Étienne"));
    QCOMPARE(m_rs->recordCount(), 3);

    // A change given up: the stored row shows again, nothing is written.
    QVERIFY(m_rs->edit());
    m_form->setText(QStringLiteral("Ville"), QStringLiteral("Brest"));
    m_form->setText(QStringLiteral("Hertz"), QStringLiteral("15"));
    m_rs->cancelUpdate();
    QCOMPARE(m_rs->editMode(), EditMode::None);
    QCOMPARE(m_form->text(QStringLiteral("Ville")), QStringLiteral("Saint-Étienne"));
    QCOMPARE(m_form->text(QStringLiteral("Hertz")), QStringLiteral("205"));
    QCOMPARE(readRows(path).at(1).at(12).toString(), QStringLiteral("Saint-Étienne"));

    // An addition given up: the row current before it is back.
    QVERIFY(m_rs->addNew());
    m_form->setText(QStringLiteral("Sequanel"), QStringLiteral("77"));
    m_rs->cancelUpdate();
    QCOMPARE(m_rs->currentRowid(), id);
    QCOMPARE(m_form->serial(), QStringLiteral("2"));
    QCOMPARE(readRows(path).size(), 3);
    QVERIFY(!m_rs->update()); // nothing pending
}

void TestRecordSource::deleteThenMove()
{
    const QString path = open(3);
    QCOMPARE(m_rs->recordCount(), 3);
    QVERIFY(m_rs->moveLast());
    QVERIFY(m_rs->deleteCurrent());
    QVERIFY(!m_rs->hasCurrent());
    QCOMPARE(m_rs->recordCount(), 2);
    QVERIFY(!m_rs->deleteCurrent()); // already gone
    QVERIFY(m_rs->moveLast());
    QCOMPARE(m_form->serial(), QStringLiteral("2"));

    // Deleting the first row, then next: the row after it.
    QVERIFY(m_rs->moveFirst());
    QVERIFY(m_rs->deleteCurrent());
    QVERIFY(m_rs->moveNext());
    QCOMPARE(m_form->serial(), QStringLiteral("2"));
    QCOMPARE(m_rs->recordCount(), 1);

    QVERIFY(m_rs->deleteCurrent());
    QCOMPARE(m_rs->recordCount(), 0);
    QVERIFY(!m_rs->moveLast());
    QVERIFY(m_rs->bof() && m_rs->eof() && !m_rs->hasCurrent());
    QCOMPARE(m_form->texts(), QStringList(16, QString())); // the deleted contact is not shown
    QCOMPARE(readRows(path).size(), 0);

    // The count follows additions made after deletions.
    QVERIFY(m_rs->addNew());
    QVERIFY(m_rs->update());
    QCOMPARE(m_rs->recordCount(), 1);
    QCOMPARE(readRows(path).size(), 1);
}

void TestRecordSource::columnRules_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("bad");
    QTest::addColumn<SourceError::Kind>("kind");
    QTest::addColumn<QString>("good");
    QTest::addColumn<QVariant>("stored");
    struct Case {
        const char *name, *column;
        QString bad;
        SourceError::Kind kind;
        QString good;
        QVariant stored;
    };
    const QList<Case> cases = {
        {"serial too long", "Sequanel", "1234567", SourceError::TooLong, "123456", "123456"},
        {"town too long", "Ville", QString(21, 'a'), SourceError::TooLong, QString(20, 'a'), QString(20, 'a')},
        {"size in characters", "RST", "€€€€€€", SourceError::TooLong, "€€€€€", "€€€€€"},
        {"above 32767", "Préfixe", "32768", SourceError::OutOfRange, "32767", 32767},
        {"below -32768", "N°", "-32769", SourceError::OutOfRange, "-32768", -32768},
        {"fraction", "Mhertz", "27,5", SourceError::NotWhole, "27,0", 27},
        {"letters in a number", "Hertz", "abc", SourceError::NotNumber, "005", 5},
        {"not a date", "Date", "31/02/2024 10:00:00", SourceError::NotDate, "29/02/2024 10:00:00", "2024-02-29 10:00:00"},
        {"omega", "Opérateur", "Ω", SourceError::BadCharacter, "Zoé œ €", "Zoé œ €"},
        {"emoji in a label", "Pays", "France 🙂", SourceError::BadCharacter, "Œland", "Œland"},
    };
    for (const bool adding : {true, false})
        for (const Case &c : cases)
            QTest::addRow("%s, %s", adding ? "adding" : "editing", c.name)
                << adding << QString::fromUtf8(c.column) << c.bad << c.kind << c.good << c.stored;
}

void TestRecordSource::columnRules()
{
    QFETCH(bool, adding);
    QFETCH(QString, column);
    QFETCH(QString, bad);
    QFETCH(SourceError::Kind, kind);
    QFETCH(QString, good);
    QFETCH(QVariant, stored);
    const QString path = open(2);
    QVERIFY(m_rs->moveLast());
    const auto before = readRows(path);
    QVERIFY(adding ? m_rs->addNew() : m_rs->edit());
    const EditMode mode = m_rs->editMode();
    m_form->setText(QStringLiteral("Sequanel"), QStringLiteral("3"));
    m_form->setText(column, bad);
    const QStringList shown = m_form->texts();

    QVERIFY(!m_rs->update());
    QCOMPARE(m_rs->error().kind, kind);
    QCOMPARE(m_rs->error().column, column);
    QVERIFY2(logfile::storeFailureMessage(m_rs->error()).contains(logfile::fieldLabel(column)),
             qPrintable(logfile::storeFailureMessage(m_rs->error())));
    QCOMPARE(m_rs->editMode(), mode);
    QCOMPARE(m_form->texts(), shown);
    QCOMPARE(readRows(path), before);
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));

    m_form->setText(column, good);
    QVERIFY2(m_rs->update(), qPrintable(logfile::storeFailureMessage(m_rs->error())));
    QVERIFY(!m_rs->error().isSet());
    const auto after = readRows(path);
    QCOMPARE(after.size(), adding ? 3 : 2);
    QCOMPARE(after.last().at(logfile::columnNames().indexOf(column)), stored);
    QCOMPARE(after.first(), before.first());
}

void TestRecordSource::refusedOpening_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<SourceError::Kind>("kind");
    QTest::newRow("missing file") << "missing.adb" << SourceError::NotFound;
    QTest::newRow("folder") << "folder.adb" << SourceError::IsFolder;
    QTest::newRow("random bytes") << "random.adb" << SourceError::NotDatabase;
    QTest::newRow("damaged database") << "damaged.adb" << SourceError::NotDatabase;
    QTest::newRow("empty file") << "empty.adb" << SourceError::NoTable;
    QTest::newRow("no Transmission") << "other.adb" << SourceError::NoTable;
    QTest::newRow("missing column") << "shape.adb" << SourceError::WrongShape;
    QTest::newRow("another program's database") << "wal.adb" << SourceError::NoTable;
    QTest::newRow("locked by a writer") << "locked.adb" << SourceError::Locked;
    QTest::newRow("read-only file") << "readonly.adb" << SourceError::ReadOnlyFile;
}

void TestRecordSource::refusedOpening()
{
    QFETCH(QString, name);
    QFETCH(SourceError::Kind, kind);
    const QString good = open(3);
    QVERIFY(m_rs->moveNext());
    const auto id = m_rs->currentRowid();

    const QString bad = m_dir->filePath(name);
    std::unique_ptr<platform::Connection> holder;
    auto write = [&](const QByteArray &bytes) {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    if (name == "folder.adb") {
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    } else if (name == "random.adb") {
        QByteArray bytes(8192, '\0');
        QRandomGenerator gen(42);
        for (char &b : bytes)
            b = char(gen.bounded(256));
        write(bytes);
    } else if (name == "damaged.adb") {
        QByteArray bytes = fileBytes(good);
        bytes.replace(100, bytes.size() - 100, QByteArray(bytes.size() - 100, '\xA5'));
        write(bytes);
    } else if (name == "empty.adb") {
        write({});
    } else if (name == "other.adb" || name == "shape.adb") {
        platform::TableDef def = logfile::transmission();
        if (name == "other.adb")
            def.name = QStringLiteral("Contacts");
        else
            def.columns.removeAt(10); // N°
        QVERIFY(platform::Connection::create(bad, def, nullptr));
    } else if (name == "wal.adb") {
        // Written ahead-log mode, as other programs often leave their files.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(bad);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE Villes (Nom TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO Villes VALUES ('Paris')")));
        }
        QSqlDatabase::removeDatabase(name);
    } else if (name == "locked.adb") {
        testsupport::makeLogFile(bad, {sampleRow(9)});
        platform::EngineError e;
        holder = platform::Connection::open(bad, platform::OpenMode::ReadWrite, &e);
        QVERIFY(holder && holder->begin());
    } else if (name == "readonly.adb") {
        // Refused even when running as root, whom the system lets write it.
        testsupport::makeLogFile(bad, {sampleRow(9)});
        QVERIFY(QFile::setPermissions(bad, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    const QByteArray bytes = QFileInfo(bad).isFile() ? fileBytes(bad) : QByteArray();

    m_rs->setDatabaseName(bad);
    QVERIFY(!m_rs->refresh());
    QCOMPARE(m_rs->error().kind, kind);
    if (kind == SourceError::WrongShape)
        QCOMPARE(m_rs->error().detail, QStringLiteral("N°"));
    const QString message = logfile::openFailureMessage(m_rs->error(), bad);
    QVERIFY2(message.contains(name), qPrintable(message));

    // The previous file is still the one in use, on the same row.
    QCOMPARE(m_rs->databaseName(), good);
    QVERIFY(m_rs->isOpen());
    QCOMPARE(m_rs->currentRowid(), id);
    QCOMPARE(m_form->serial(), QStringLiteral("2"));
    QVERIFY(m_rs->edit());
    m_form->setText(QStringLiteral("Ville"), QStringLiteral("Nantes"));
    QVERIFY(m_rs->update());
    QCOMPARE(readRows(good).at(1).at(12).toString(), QStringLiteral("Nantes"));
    QVERIFY(m_rs->moveNext());
    QCOMPARE(m_form->serial(), QStringLiteral("3"));

    // The refused file is as it was.
    if (!bytes.isNull() && !holder)
        QCOMPARE(fileBytes(bad), bytes);
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QVERIFY2(!QFile::exists(bad + QLatin1String(suffix)), suffix);
    if (name == "missing.adb")
        QVERIFY(!QFile::exists(bad));

    if (holder) {
        // Once the other writer is done, the same file opens.
        QVERIFY(holder->commit());
        holder.reset();
        m_rs->setDatabaseName(bad);
        QVERIFY(m_rs->refresh());
        QCOMPARE(m_form->serial(), QStringLiteral("9"));
    }
}

void TestRecordSource::durability()
{
    // A log left in write-ahead-log mode by another program goes back to the
    // rollback journal, so that it stays one file.
    const QString path = m_dir->filePath(QStringLiteral("wal.adb"));
    testsupport::makeLogFile(path, {sampleRow(1)});
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wal"));
        raw.setDatabaseName(path);
        QVERIFY(raw.open());
        QSqlQuery q(raw);
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("wal"));
    QCOMPARE(fileBytes(path).at(18), '\x02');
    logfile::configure(*m_rs, path);
    QVERIFY(m_rs->refresh());
    platform::Connection *db = m_rs->database();
    QVERIFY(db);
    QCOMPARE(db->scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
    QCOMPARE(db->scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2);
    QVERIFY(m_rs->addNew());
    QVERIFY(m_rs->update());
    QVERIFY(m_rs->edit());
    QVERIFY(m_rs->update());
    QVERIFY(m_rs->deleteCurrent());
    // Each store is committed on its own: nothing is left in a journal.
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QVERIFY2(!QFile::exists(path + QLatin1String(suffix)), suffix);
    QCOMPARE(readRows(path).size(), 1);
    QCOMPARE(fileBytes(path).at(18), '\x01');
}

int main(int argc, char **argv)
{
    // Central European time with its summer-time changes, without needing tzdata.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    QApplication app(argc, argv);
    TestRecordSource t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_RecordSource.moc"
