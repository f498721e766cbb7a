#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedShell.h"
#include "TestSupport.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "app/ProfileStore.h"
#include "archive/ArchiveFile.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(ViewKind)

namespace {

// A document on a fresh working folder with a scripted shell.
struct Fixture
{
    Fixture()
        : store(dir.filePath(u"lorn2.ini"_s))
        , doc(store, dir.path())
    {
        testsupport::writeFile(dir.filePath(u"esc.ini"_s), "Bold.On=<ESC>E\r\n");
        doc.setShell(&shell);
        doc.OnNewDocument();
        doc.fillDeviceList();
    }

    // Adds an account through the command, as the user would with the dialog.
    bool add(int serial, int type, const QString& consumer = QString())
    {
        shell.accountEdits.push_back([=](CDevData& r) {
            r.m_serial = serial;
            r.m_type = type;
            r.m_consumer = consumer;
            return true;
        });
        return doc.OnAddAccount();
    }

    QString folderOf(int serial, const char* code) const
    {
        return dir.filePath(u"Devices/"_s + QLatin1StringView(code) + u'_' + QString::number(serial).rightJustified(5, u'0'));
    }

    // Messages of a test that does not look at them are kept out of the output.
    testsupport::MessageRecorder quiet;
    QTemporaryDir dir;
    ProfileStore store;
    CLorn2Doc doc;
    ScriptedShell shell;
};

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT

private slots:
    void enableRules_data();
    void enableRules();
    void unknownCommandsStayDisabled();
    void targetAccount_data();
    void targetAccount();

    void addAccount();
    void addRefused_data();
    void addRefused();
    void accountsReloadedAtStart();

    void deleteRemovesFiles();
    void deleteMovesToArchive();
    void deleteMoveNameClashKeepsAccount();
    void deleteCancelled_data();
    void deleteCancelled();

    void editAccountFields();
    void exportDeviceList();

    void importArchiveCreatesAccount();
    void importArchiveMergesIntoAccount();
    void importKeepsAnUnreadableOwnFile();
    void exportArchive_data();
    void exportArchive();
    void exportArchiveWithoutArchive();
    void exportDatabase();
};

void TestDocument::enableRules_data()
{
    QTest::addColumn<ViewKind>("view");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<bool>("current");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("enabled");
    const ViewKind L = ViewKind::DeviceList, A = ViewKind::ArchiveList, R = ViewKind::Report,
                   C = ViewKind::ConfigReport;
    struct Row
    {
        const char* name;
        ViewKind view;
        bool row;
        bool current;
        int command;
        bool enabled;
    };
    const Row rows[] = {
        {"E1 add on list", L, false, false, cmd::AddAccount, true},
        {"E1 add on archive", A, false, true, cmd::AddAccount, false},
        {"E2 delete without row", L, false, true, cmd::DeleteAccount, false},
        {"E2 delete with row", L, true, false, cmd::DeleteAccount, true},
        {"E2 delete on report", R, false, true, cmd::DeleteAccount, false},
        {"E3 save config on list row", L, true, false, cmd::SaveConfig, true},
        {"E3 save config on config view", C, false, false, cmd::SaveConfig, true},
        {"E3 save config on report", R, false, true, cmd::SaveConfig, false},
        {"E4 print config on config view", C, false, false, cmd::PrintConfig, true},
        {"E4 print config on list", L, true, true, cmd::PrintConfig, false},
        {"E5 create report on list row", L, true, false, cmd::CreateReport, true},
        {"E5 create report on list without row", L, false, true, cmd::CreateReport, false},
        {"E5 create report on archive with current", A, false, true, cmd::CreateReport, true},
        {"E5 create report on archive without current", A, false, false, cmd::CreateReport, false},
        {"E5 create report on report with current", R, false, true, cmd::LoadReport, true},
        {"E5 create report on config view", C, false, true, cmd::CreateReport, false},
        {"E6 import on list", L, false, false, cmd::ImportArchive, true},
        {"E6 import on archive", A, false, false, cmd::ImportArchive, true},
        {"E6 import on report", R, false, true, cmd::ImportArchive, false},
        {"E7 read archive on list row", L, true, false, cmd::ReadArchive, true},
        {"E7 read archive on list, current but no row", L, false, true, cmd::ReadArchive, false},
        {"E7 read archive on archive with current", A, false, true, cmd::ReadArchive, true},
        {"E7 export archive on archive without current", A, false, false, cmd::ExportArchive, false},
        {"E7 read report on config view with current", C, false, true, cmd::ReadReport, true},
        {"E8 print report on report", R, false, false, cmd::PrintReport, true},
        {"E8 preview report on list", L, true, true, cmd::PreviewReport, false},
        {"always: print list on report", R, false, false, cmd::PrintDeviceList, true},
        {"always: parameters on archive", A, false, false, cmd::Parameters, true},
        {"always: database export", C, false, false, cmd::ExportDatabase, true},
    };
    for (const Row& r : rows)
        QTest::newRow(r.name) << r.view << r.row << r.current << r.command << r.enabled;
}

void TestDocument::enableRules()
{
    QFETCH(ViewKind, view);
    QFETCH(bool, rowSelected);
    QFETCH(bool, current);
    QFETCH(int, command);
    QFETCH(bool, enabled);
    Fixture f;
    QVERIFY(f.add(1234, 1));
    f.shell.view = view;
    f.shell.selected = rowSelected ? std::optional<int>(0) : std::nullopt;
    f.doc.m_currentAccount = current ? 0 : -1;
    QCOMPARE(f.doc.ruleAllows(command), enabled);
    if (CLorn2Doc::isCommandAvailable(command))
        QCOMPARE(f.doc.isCommandEnabled(command), enabled);
}

void TestDocument::unknownCommandsStayDisabled()
{
    Fixture f;
    QVERIFY(f.add(1, 1));
    for (int c : {0, 32770, 32836, 40000}) {
        QVERIFY2(!f.doc.isCommandEnabled(c), qPrintable(QString::number(c)));
        QVERIFY(!f.doc.onCommand(c));
    }
    for (int c : {cmd::ReadArchive, cmd::ReadConfig, cmd::ShowConfig, cmd::SetClock, cmd::EditConnection})
        QVERIFY2(f.doc.isCommandEnabled(c), qPrintable(QString::number(c)));
    QVERIFY(f.doc.isCommandEnabled(cmd::AddAccount));
    QVERIFY(f.doc.isCommandEnabled(cmd::DeleteAccount));
}

void TestDocument::targetAccount_data()
{
    QTest::addColumn<ViewKind>("view");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("listOnly");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("message");
    QTest::newRow("selected row") << ViewKind::DeviceList << true << -1 << false << 1 << QString();
    QTest::newRow("list without selection") << ViewKind::DeviceList << false << 0 << false << -1
                                            << u"ТС не выбран"_s;
    QTest::newRow("archive view uses current") << ViewKind::ArchiveList << false << 0 << false << 0 << QString();
    QTest::newRow("no current account") << ViewKind::Report << false << -1 << false << -1 << u"ТС не выбран"_s;
    QTest::newRow("current beyond the list") << ViewKind::Report << false << 7 << false << -1 << u"ТС не выбран"_s;
    QTest::newRow("list required") << ViewKind::ArchiveList << false << 0 << true << -1
                                   << u"Системная ошибка: список устройств не найден"_s;
}

void TestDocument::targetAccount()
{
    QFETCH(ViewKind, view);
    QFETCH(bool, rowSelected);
    QFETCH(int, current);
    QFETCH(bool, listOnly);
    QFETCH(int, expected);
    QFETCH(QString, message);
    Fixture f;
    QVERIFY(f.add(1, 1));
    QVERIFY(f.add(2, 1));
    f.shell.view = view;
    f.shell.selected = rowSelected ? std::optional<int>(1) : std::nullopt;
    f.doc.m_currentAccount = current;
    testsupport::MessageRecorder rec;
    const std::optional<int> got = f.doc.targetAccount(listOnly);
    QCOMPARE(got.value_or(-1), expected);
    if (message.isEmpty()) {
        QCOMPARE(rec->texts(), QStringList());
        QCOMPARE(f.doc.m_currentAccount, expected);
    } else {
        QCOMPARE(rec->texts(), QStringList{message});
        QCOMPARE(rec->shown()[0].icon, MbIcon::Error);
        QCOMPARE(f.doc.m_currentAccount, current);
    }
}

void TestDocument::addAccount()
{
    Fixture f;
    f.doc.NewAccountConnection.port = 5;
    f.shell.accountEdits.push_back([](CDevData& r) {
        // The dialog starts from the default connection and may change it.
        if (r.m_connection.port != 5)
            return false;
        r.m_serial = 1234;
        r.m_type = 1;
        r.m_connection.port = 7;
        return true;
    });
    QVERIFY(f.doc.OnAddAccount());
    QVERIFY(f.shell.lastEditWasNew);
    QCOMPARE(f.doc.accounts().size(), std::size_t(1));
    QCOMPARE(f.shell.rows, std::vector<int>{0});
    QCOMPARE(f.shell.selected, std::optional<int>(0));
    QCOMPARE(f.doc.NewAccountConnection.port, 7);
    QVERIFY(QFile::exists(f.folderOf(1234, "Karna1") + u"/01234.xml"_s));
    // Same serial number, other type: a second meter.
    QVERIFY(f.add(1234, 2));
    QCOMPARE(f.doc.accounts().size(), std::size_t(2));
}

void TestDocument::addRefused_data()
{
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("type");
    QTest::newRow("serial 0") << 0 << 1;
    QTest::newRow("serial 65535") << 65535 << 1;
    QTest::newRow("duplicate") << 1234 << 1;
}

void TestDocument::addRefused()
{
    QFETCH(int, serial);
    QFETCH(int, type);
    Fixture f;
    QVERIFY(f.add(1234, 1));
    const QStringList before = QDir(f.dir.filePath(u"Devices"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    testsupport::MessageRecorder rec;
    QVERIFY(!f.add(serial, type));
    QCOMPARE(rec->texts(), QStringList{u"Не удалось создать учётную запись."_s});
    QCOMPARE(f.doc.accounts().size(), std::size_t(1));
    QCOMPARE(f.shell.rows.size(), std::size_t(1));
    QCOMPARE(QDir(f.dir.filePath(u"Devices"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestDocument::accountsReloadedAtStart()
{
    Fixture f;
    QVERIFY(f.add(20, 2, u"Второй"_s));
    QVERIFY(f.add(10, 1, u"Первый"_s));
    ProfileStore store(f.dir.filePath(u"other.ini"_s));
    CLorn2Doc again(store, f.dir.path());
    ScriptedShell shell;
    again.setShell(&shell);
    again.OnNewDocument();
    again.fillDeviceList();
    // Folder names in name order: Karna1_00010 before Velos2_00020.
    QCOMPARE(again.accounts().size(), std::size_t(2));
    QCOMPARE(again.accounts()[0].m_consumer, u"Первый"_s);
    QCOMPARE(again.accounts()[1].m_consumer, u"Второй"_s);
    QCOMPARE(shell.rows, (std::vector<int>{0, 1}));
    QCOMPARE(shell.title, u"Список приборов"_s);
}

void TestDocument::deleteRemovesFiles()
{
    Fixture f;
    QVERIFY(f.add(1, 1));
    QVERIFY(f.add(2, 1));
    f.shell.selected = 0;
    f.shell.deleteChoice = DeleteFilesChoice::Delete;
    testsupport::MessageRecorder rec;
    QVERIFY(f.doc.OnDeleteAccount());
    QCOMPARE(rec->texts(), QStringList{u"Вы уверены, что хотите удалить учётную запись ТС?"_s});
    QCOMPARE(rec->shown()[0].caption, u"Удаление ТС"_s);
    QCOMPARE(rec->shown()[0].icon, MbIcon::Question);
    QVERIFY(!QFileInfo::exists(f.folderOf(1, "Karna1")));
    QVERIFY(QFileInfo::exists(f.folderOf(2, "Karna1")));
    // The record keeps its place; the remaining row still points at the second account.
    QCOMPARE(f.doc.accounts().size(), std::size_t(2));
    QVERIFY(f.doc.accounts()[0].m_deleted);
    QCOMPARE(f.shell.rows, std::vector<int>{1});
    QCOMPARE(f.shell.selected, std::optional<int>(0));
    // A deleted account no longer blocks a new one of the same serial number and type.
    QVERIFY(f.add(1, 1));
}

void TestDocument::deleteMovesToArchive()
{
    Fixture f;
    QVERIFY(f.add(77, 3));
    f.shell.selected = 0;
    f.shell.deleteChoice = DeleteFilesChoice::Move;
    QVERIFY(f.doc.OnDeleteAccount());
    QVERIFY(!QFileInfo::exists(f.folderOf(77, "Darna3")));
    QVERIFY(QFile::exists(f.dir.filePath(u"DeviceArchives/Darna3_00077/00077.xml"_s)));
    QVERIFY(f.shell.rows.empty());
    QVERIFY(!f.shell.selected);
}

void TestDocument::deleteMoveNameClashKeepsAccount()
{
    Fixture f;
    QVERIFY(f.add(77, 3));
    QVERIFY(QDir(f.dir.path()).mkpath(u"DeviceArchives/Darna3_00077"_s));
    QVERIFY(testsupport::writeFile(f.dir.filePath(u"DeviceArchives/Darna3_00077/old.txt"_s), "old"));
    f.shell.selected = 0;
    f.shell.deleteChoice = DeleteFilesChoice::Move;
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.OnDeleteAccount());
    QCOMPARE(rec->texts().size(), 2);
    QVERIFY(!rec->texts()[1].isEmpty());
    QCOMPARE(rec->shown()[1].icon, MbIcon::Error);
    QVERIFY(QFile::exists(f.folderOf(77, "Darna3") + u"/00077.xml"_s));
    QCOMPARE(testsupport::readFile(f.dir.filePath(u"DeviceArchives/Darna3_00077/old.txt"_s)), QByteArray("old"));
    QCOMPARE(f.shell.rows, std::vector<int>{0});
    QVERIFY(!f.doc.accounts()[0].m_deleted);
}

void TestDocument::deleteCancelled_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("choice");
    QTest::newRow("no to the question") << int(MbAnswer::No) << int(DeleteFilesChoice::Delete);
    QTest::newRow("cancel in the files dialog") << int(MbAnswer::Yes) << int(DeleteFilesChoice::Cancel);
}

void TestDocument::deleteCancelled()
{
    QFETCH(int, answer);
    QFETCH(int, choice);
    Fixture f;
    QVERIFY(f.add(5, 1));
    f.shell.selected = 0;
    f.shell.deleteChoice = DeleteFilesChoice(choice);
    testsupport::MessageRecorder rec;
    rec->setNextAnswer(MbAnswer(answer));
    QVERIFY(!f.doc.OnDeleteAccount());
    QVERIFY(QFileInfo::exists(f.folderOf(5, "Karna1")));
    QCOMPARE(f.shell.rows.size(), std::size_t(1));
}

void TestDocument::editAccountFields()
{
    Fixture f;
    QVERIFY(f.add(5, 1, u"Старое"_s));
    f.shell.selected = 0;
    f.shell.accountEdits.push_back([](CDevData& r) {
        r.m_consumer = u"Новое"_s;
        return true;
    });
    QVERIFY(f.doc.OnEditAccountFields());
    QVERIFY(!f.shell.lastEditWasNew);
    QCOMPARE(f.shell.lastCaption, u"Редактирование учётной записи ТС"_s);
    QCOMPARE(f.shell.updatedRows, std::vector<int>{0});
    CDevData reread;
    reread.m_folder = f.folderOf(5, "Karna1");
    QCOMPARE(reread.Load(f.dir.path()), S_OK);
    QCOMPARE(reread.m_consumer, u"Новое"_s);
    // Cancel changes nothing.
    QVERIFY(!f.doc.OnEditAccountFields());
    QCOMPARE(f.doc.accounts()[0].m_consumer, u"Новое"_s);
}

void TestDocument::exportDeviceList()
{
    Fixture f;
    QVERIFY(f.add(1234, 1, u"ООО Тепло"_s));
    f.shell.fileName = f.dir.filePath(u"out.csv"_s);
    QVERIFY(f.doc.OnExportDeviceList());
    QCOMPARE(f.shell.lastDialog.defaultExtension, u"csv"_s);
    QCOMPARE(f.shell.lastDialog.defaultName, u"devices"_s);
    QCOMPARE(f.shell.lastDialog.filter, u"Файлы CSV(*.csv)|*.csv|Все файлы (*.*)|*.*||"_s);
    const QByteArray csv = testsupport::readFile(f.shell.fileName);
    QVERIFY(csv.startsWith("NN, SerialNumber, Type, LastConnect, Consumer, Phone, ConsumerID, Address, "
                           "ContactPerson, NetAddress\r\n"));
    QVERIFY(csv.contains("1, 1234, "));
    testsupport::MessageRecorder rec;
    f.shell.fileName = f.dir.filePath(u"no/such/folder/out.csv"_s);
    QVERIFY(!f.doc.OnExportDeviceList());
    QCOMPARE(rec->texts(), QStringList{u"Failed to save device list"_s});
}

namespace {

// An archive file of the meter with a few hourly and daily records.
QByteArray archiveFile(int serial, const QString& consumer, int firstDay, int days)
{
    ArchiveParams params;
    params.Custom = consumer;
    params.Telephone = u"555"_s;
    ArchiveRecordList records;
    for (int d = 0; d < days; ++d) {
        for (int event : {archive::kEventHourly, archive::kEventDaily}) {
            sctArcZap r;
            r.year = 15;
            r.month = 1;
            r.day = std::uint8_t(firstDay + d);
            r.hour = event == archive::kEventHourly ? 5 : 0;
            r.Event = std::uint8_t(event);
            r.Q[0] = float(d);
            records.add(r, false);
        }
    }
    return archive::archiveFileBytes(params, records, std::uint16_t(serial));
}

} // namespace

void TestDocument::importArchiveCreatesAccount()
{
    Fixture f;
    const QString file = f.dir.filePath(u"foreign.tsa"_s);
    QVERIFY(testsupport::writeFile(file, archiveFile(4321, u"ООО Тепло"_s, 1, 3)));
    f.shell.fileName = file;
    CDevData seen;
    f.shell.accountEdits.push_back([&](CDevData& r) {
        seen = r;
        r.m_type = 2;
        return true;
    });
    QVERIFY(f.doc.OnImportArchive());
    QCOMPARE(seen.m_serial, 4321);
    QCOMPARE(seen.m_consumer, u"ООО Тепло"_s);
    QCOMPARE(seen.m_phone, u"555"_s);
    QCOMPARE(f.doc.m_currentAccount, 0);
    QCOMPARE(f.shell.view, ViewKind::ArchiveList);
    QCOMPARE(f.shell.shownAccount, 0);
    QVERIFY(QFile::exists(f.folderOf(4321, "Velos2") + u"/04321.tsa"_s));
}

void TestDocument::importArchiveMergesIntoAccount()
{
    Fixture f;
    QVERIFY(f.add(4321, 1));
    QVERIFY(testsupport::writeFile(f.folderOf(4321, "Karna1") + u"/04321.tsa"_s, archiveFile(4321, u"A"_s, 1, 2)));
    // A file of another meter's serial number would be refused as an account's own file; as an
    // import it only brings records.
    const QString file = f.dir.filePath(u"more.tsa"_s);
    QVERIFY(testsupport::writeFile(file, archiveFile(4321, u"B"_s, 2, 3)));
    f.shell.fileName = file;
    f.shell.view = ViewKind::ArchiveList;
    QVERIFY(f.doc.OnImportArchive());
    CDevData reread;
    reread.m_serial = 4321;
    reread.m_folder = f.folderOf(4321, "Karna1");
    QCOMPARE(reread.LoadArchive(), S_OK);
    // Days 1-4, two records each, sorted; the account's own parameters kept.
    QCOMPARE(reread.m_records.size(), std::size_t(8));
    QVERIFY(reread.m_records.isSorted());
    QCOMPARE(reread.m_arcParams.Custom, u"A"_s);
    QCOMPARE(f.doc.m_currentAccount, 0);
}

void TestDocument::importKeepsAnUnreadableOwnFile()
{
    Fixture f;
    QVERIFY(f.add(4321, 1));
    // The account's file names another meter: reading it fails, and it must stay as it is.
    const QString own = f.folderOf(4321, "Karna1") + u"/04321.tsa"_s;
    const QByteArray foreign = archiveFile(9999, u"A"_s, 1, 2);
    QVERIFY(testsupport::writeFile(own, foreign));
    const QString file = f.dir.filePath(u"more.tsa"_s);
    QVERIFY(testsupport::writeFile(file, archiveFile(4321, u"B"_s, 2, 3)));
    f.shell.fileName = file;
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.OnImportArchive());
    QCOMPARE(rec->texts().back(), u"Не удалось импортировать архив"_s);
    QCOMPARE(testsupport::readFile(own), foreign);
}

void TestDocument::exportArchive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("written");
    QTest::newRow("tsa") << u"copy.TSA"_s << u"Архив экспортирован"_s << true;
    QTest::newRow("csv") << u"table.csv"_s << u"Архив экспортирован"_s << true;
    QTest::newRow("iar") << u"other.iar"_s << u"Not supported"_s << false;
}

void TestDocument::exportArchive()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(bool, written);
    Fixture f;
    QVERIFY(f.add(4321, 1));
    const QByteArray own = archiveFile(4321, u"A"_s, 1, 2);
    QVERIFY(testsupport::writeFile(f.folderOf(4321, "Karna1") + u"/04321.tsa"_s, own));
    f.shell.selected = 0;
    f.shell.fileName = f.dir.filePath(name);
    testsupport::MessageRecorder rec;
    QCOMPARE(f.doc.OnExportArchive(), written);
    QCOMPARE(f.shell.lastDialog.defaultName, u"04321"_s);
    QCOMPARE(rec->texts(), QStringList{message});
    QCOMPARE(QFile::exists(f.shell.fileName), written);
    if (name.endsWith(u"TSA"_s))
        QCOMPARE(testsupport::readFile(f.shell.fileName), own);
    if (name.endsWith(u"csv"_s))
        QCOMPARE(testsupport::readFile(f.shell.fileName).count('\n'), 5);
}

void TestDocument::exportArchiveWithoutArchive()
{
    Fixture f;
    QVERIFY(f.add(4321, 1));
    f.shell.selected = 0;
    f.shell.fileName = f.dir.filePath(u"x.tsa"_s);
    testsupport::MessageRecorder rec;
    QVERIFY(!f.doc.OnExportArchive());
    QCOMPARE(rec->texts(), QStringList{u"Нет архивных данных для экспорта"_s});
    QVERIFY(f.shell.lastDialog.defaultName.isEmpty());
}

void TestDocument::exportDatabase()
{
    Fixture f;
    QVERIFY(f.add(4321, 1));
    QVERIFY(testsupport::writeFile(f.folderOf(4321, "Karna1") + u"/04321.tsa"_s, archiveFile(4321, u"A"_s, 1, 3)));
    ArchiveDatabase db;
    QCOMPARE(db.open(f.dir.filePath(u"lorn2.sqlite"_s)), S_OK);
    QCOMPARE(db.ensureTables(), S_OK);
    f.doc.setLastSelectedRow(0);
    testsupport::MessageRecorder rec;
    // Without a connection.
    QVERIFY(!f.doc.OnExportDatabase());
    f.doc.setDatabase(&db);
    rec->setNextAnswer(MbAnswer::No);
    QVERIFY(!f.doc.OnExportDatabase());
    QVERIFY(f.doc.OnExportDatabase());
    const QString question = u"sizeof(struct u_data_daymon_full) = 256. sizeof(sctArcZap) = %1"_s.arg(sizeof(sctArcZap));
    QCOMPARE(rec->texts(), (QStringList{question, u"No DB connection!"_s, question, question, u"Added 3 records"_s}));
    QCOMPARE(rec->shown().back().icon, MbIcon::Information);
    int count = 0;
    QCOMPARE(db.countDailyRows(1, 4321, count), S_OK);
    QCOMPARE(count, 3);
    // No row selected yet.
    f.doc.setLastSelectedRow(-1);
    rec->clear();
    QVERIFY(!f.doc.OnExportDatabase());
    QCOMPARE(rec->texts().back(), u"No device data!"_s);
}

QTEST_GUILESS_MAIN(TestDocument)
#include "TestDocument.moc"
