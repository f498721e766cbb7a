#include <csignal>
#include <sqlite3.h>

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedShell.h"
#include "TestSupport.h"
#include "app/CLorn2App.h"
#include "app/CLorn2Doc.h"
#include "app/CmdLine.h"
#include "app/InstanceGuard.h"
#include "app/ProfileStore.h"
#include "app/ProgramSettings.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A front end with no windows that remembers what start-up asked of it.
class RecordingFrontEnd : public AppFrontEnd
{
public:
    bool createFrame(CLorn2Doc& document) override
    {
        doc = &document;
        return frameResult;
    }
    void showSplash(const QString& status) override { splash = status; }
    void showFrame() override { shown = true; }

    CLorn2Doc* doc = nullptr;
    bool frameResult = true;
    bool shown = false;
    QString splash;
};

QStringList keysOf(const QString& ini, const QString& section)
{
    QStringList keys;
    for (const QString& line : testsupport::iniSection(ini, section))
        keys << line.section(u'=', 0, 0);
    keys.sort();
    return keys;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

// A process holding the instance lock, as a running copy of the program does.
class LockHolder
{
public:
    explicit LockHolder(const QString& lockPath)
    {
        m_process.setProgram(testsupport::binary(u"lorn2-testlock"_s));
        m_process.setArguments({lockPath});
        m_process.start();
    }
    ~LockHolder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString state()
    {
        if (!m_process.waitForStarted(5000))
            return u"not started"_s;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return u"no answer"_s;
        }
        return QString::fromLatin1(m_process.readLine().trimmed());
    }
    qint64 pid() const { return m_process.processId(); }
    bool finishedBySignal9()
    {
        // Reaping the killed child is what lets its lock be seen as stale.
        if (!m_process.waitForFinished(5000))
            return false;
        return m_process.exitStatus() == QProcess::CrashExit && m_process.exitCode() == SIGKILL;
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void missingFileGivesDefaults();
    void writtenFileHoldsExactlyTheKeys();
    void connectionRoundTrip();
    void readValuesAreMaskedToWidth_data();
    void readValuesAreMaskedToWidth();
    void profileIntegers_data();
    void profileIntegers();
    void programOptions_data();
    void programOptions();
    void profileNamesIgnoreCase_data();
    void profileNamesIgnoreCase();
    void faceNameIsCut();

    void commandLine_data();
    void commandLine();

    void secondProcessSeesTheLock();
    void locksPerUser();
    void lockOfAKilledInstanceIsFree();
    void instanceQuestions_data();
    void instanceQuestions();

    void startUpInWorkingFolder();
    void startUpEndsWhenTheFrameFails();
    void databaseFailureIsReported();

    void parametersConvertPoints_data();
    void parametersConvertPoints();
    void parametersCommand();
    void parametersWithoutView();
};

void TestApp::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    ProfileStore store(dir.filePath(u"lorn2.ini"_s));
    CLorn2Doc doc(store, dir.path());
    QCOMPARE(doc.m_tabSize, 8);
    const LogFont d;
    QCOMPARE(doc.m_viewFont, d);
    QCOMPARE(doc.m_printFont, d);
    QCOMPARE(d.Height, -10);
    QCOMPARE(d.Weight, 400);
    QCOMPARE(int(d.CharSet), 204);
    QCOMPARE(int(d.OutPrecision), 3);
    QCOMPARE(int(d.ClipPrecision), 2);
    QCOMPARE(int(d.Quality), 1);
    QCOMPARE(int(d.PitchAndFamily), 0x31);
    QCOMPARE(d.FaceName, u"Courier New"_s);
    const ConnectionBlock& c = doc.NewAccountConnection;
    QCOMPARE(c.handle, -1);
    QCOMPARE(c.error, 0);
    QCOMPARE(c.port, -1);
    QCOMPARE(c.dcb.DCBlength, 0u);
    QCOMPARE(c.dcb.BaudRate, 9600u);
    QCOMPARE(c.dcb.flags, 1u); // binary mode only
    QCOMPARE(int(c.dcb.ByteSize), 8);
    QCOMPARE(int(c.dcb.Parity), 0);
    QCOMPARE(int(c.dcb.StopBits), 0);
}

void TestApp::writtenFileHoldsExactlyTheKeys()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    {
        ProfileStore store(ini);
        CLorn2Doc doc(store, dir.path());
    }
    // Destroying the document writes the connection section and nothing else.
    QCOMPARE(keysOf(ini, u"COM4NEWACC"_s), sorted(settings::connectionKeys()));
    QCOMPARE(settings::connectionKeys().size(), 28);
    QCOMPARE(keysOf(ini, u"ReportViewFont"_s), QStringList());
    QCOMPARE(keysOf(ini, u"Settings"_s), QStringList());
    const QStringList defaults = testsupport::iniSection(ini, u"COM4NEWACC"_s);
    QVERIFY(defaults.contains(u"Port=-1"_s));
    QVERIFY(defaults.contains(u"BaudRate=9600"_s));
    QVERIFY(defaults.contains(u"fBinary=1"_s));
    QVERIFY(defaults.contains(u"ByteSize=8"_s));
    QCOMPARE(defaults.filter(u"=0"_s).size(), 24);
    {
        ProfileStore store(ini);
        CLorn2Doc doc(store, dir.path());
        doc.writeFontSettings();
    }
    QCOMPARE(keysOf(ini, u"ReportViewFont"_s), sorted(settings::fontKeys()));
    QCOMPARE(keysOf(ini, u"ReportPrintFont"_s), sorted(settings::fontKeys()));
    QCOMPARE(settings::fontKeys().size(), 14);
    QVERIFY(testsupport::iniSection(ini, u"ReportViewFont"_s).contains(u"FaceName=Courier New"_s));
}

void TestApp::connectionRoundTrip()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    ConnectionBlock c = settings::defaultNewAccountConnection();
    c.port = 7;
    c.dcb.BaudRate = 115200;
    setDcbFlag(c.dcb, DcbFlag::fOutxCtsFlow, 1);
    setDcbFlag(c.dcb, DcbFlag::fDtrControl, 2);
    setDcbFlag(c.dcb, DcbFlag::fRtsControl, 3);
    setDcbFlag(c.dcb, DcbFlag::fDummy2, 0x1ABCD);
    c.dcb.wReserved = 0xFFFF;
    c.dcb.XonLim = 2048;
    c.dcb.XoffLim = 512;
    c.dcb.ByteSize = 7;
    c.dcb.Parity = 2;
    c.dcb.StopBits = 1;
    c.dcb.XonChar = 0x11;
    c.dcb.XoffChar = 0x13;
    c.dcb.ErrorChar = 0xFF;
    c.dcb.EofChar = 0x1A;
    c.dcb.EvtChar = 0x7E;
    c.dcb.wReserved1 = 0x1234;
    {
        ProfileStore store(ini);
        settings::writeNewAccountConnection(store, c);
    }
    ProfileStore store(ini);
    const ConnectionBlock back = settings::readNewAccountConnection(store);
    QCOMPARE(back, c);
    QVERIFY(testsupport::iniSection(ini, u"COM4NEWACC"_s).contains(u"fDtrControl=2"_s));
    QVERIFY(testsupport::iniSection(ini, u"COM4NEWACC"_s).contains(u"fDummy2=109517"_s));
}

void TestApp::readValuesAreMaskedToWidth_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<qlonglong>("expected");
    QTest::newRow("one-bit flag") << u"fBinary"_s << u"3"_s << 1ll;
    QTest::newRow("two-bit flag") << u"fDtrControl"_s << u"7"_s << 3ll;
    QTest::newRow("seventeen-bit flag") << u"fDummy2"_s << u"262143"_s << 131071ll;
    QTest::newRow("byte") << u"ByteSize"_s << u"300"_s << 44ll;
    QTest::newRow("word") << u"XonLim"_s << u"65537"_s << 1ll;
    QTest::newRow("negative byte") << u"Parity"_s << u"-1"_s << 255ll;
    QTest::newRow("baud rate keeps 32 bits") << u"BaudRate"_s << u"4294967295"_s << 4294967295ll;
}

void TestApp::readValuesAreMaskedToWidth()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(qlonglong, expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QVERIFY(testsupport::writeFile(ini, (u"[COM4NEWACC]\n"_s + key + u'=' + value + u'\n').toUtf8()));
    ProfileStore store(ini);
    const ConnectionBlock c = settings::readNewAccountConnection(store);
    ProfileStore out(dir.filePath(u"out.ini"_s));
    settings::writeNewAccountConnection(out, c);
    QCOMPARE(out.readInt(u"COM4NEWACC"_s, key, -999), expected);
    // The other fields keep their defaults.
    if (key != u"BaudRate"_s)
        QCOMPARE(c.dcb.BaudRate, 9600u);
}

void TestApp::profileIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qlonglong>("expected");
    QTest::newRow("decimal") << u"12"_s << 12ll;
    QTest::newRow("negative") << u"-1"_s << -1ll;
    QTest::newRow("leading zero is not octal") << u"010"_s << 10ll;
    QTest::newRow("hexadecimal") << u"0x1F"_s << 31ll;
    QTest::newRow("trailing text ignored") << u"96 dpi"_s << 96ll;
    QTest::newRow("no digits gives the default") << u"abc"_s << 77ll;
    QTest::newRow("empty gives the default") << QString() << 77ll;
}

void TestApp::profileIntegers()
{
    QFETCH(QString, text);
    QFETCH(qlonglong, expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"a.ini"_s);
    QVERIFY(testsupport::writeFile(ini, (u"[S]\nK="_s + text + u'\n').toUtf8()));
    ProfileStore store(ini);
    QCOMPARE(store.readInt(u"S"_s, u"K"_s, 77), expected);
}

void TestApp::programOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("home");
    QTest::addColumn<QStringList>("rest");
    using A = ProgramOptions::Action;
    QTest::newRow("nothing") << QStringList() << int(A::Run) << QString() << false << QStringList();
    // The desktop entry's command line, with and without a report file.
    QTest::newRow("--home %f") << QStringList{u"--home"_s, u"/r/a.tsr"_s} << int(A::Run) << QString() << true
                               << QStringList{u"/r/a.tsr"_s};
    QTest::newRow("-C DIR") << QStringList{u"-C"_s, u"/w"_s, u"-admin"_s} << int(A::Run) << u"/w"_s << false
                            << QStringList{u"-admin"_s};
    QTest::newRow("-CDIR") << QStringList{u"-C/w"_s} << int(A::Run) << u"/w"_s << false << QStringList();
    QTest::newRow("Windows flag and file") << QStringList{u"/admin"_s, u"r.tsr"_s} << int(A::Run) << QString() << false
                                           << QStringList{u"/admin"_s, u"r.tsr"_s};
    QTest::newRow("-- ends the options") << QStringList{u"--"_s, u"--odd.tsr"_s} << int(A::Run) << QString() << false
                                         << QStringList{u"--odd.tsr"_s};
    QTest::newRow("help") << QStringList{u"r.tsr"_s, u"--help"_s} << int(A::Help) << QString() << false
                          << QStringList{u"r.tsr"_s};
    QTest::newRow("version") << QStringList{u"--version"_s} << int(A::Version) << QString() << false << QStringList();
    QTest::newRow("unknown option") << QStringList{u"--frob"_s} << int(A::UsageError) << QString() << false
                                    << QStringList();
    QTest::newRow("-C without folder") << QStringList{u"-C"_s} << int(A::UsageError) << QString() << false
                                       << QStringList();
    QTest::newRow("-C and --home") << QStringList{u"-C"_s, u"/w"_s, u"--home"_s} << int(A::UsageError) << u"/w"_s
                                   << true << QStringList();
}

void TestApp::programOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, folder);
    QFETCH(bool, home);
    QFETCH(QStringList, rest);
    const ProgramOptions o = ProgramOptions::parse(args);
    QCOMPARE(int(o.action), action);
    QCOMPARE(o.folder.folder, folder);
    QCOMPARE(o.folder.home, home);
    QCOMPARE(o.rest, rest);
    QCOMPARE(o.error.isEmpty(), o.action != ProgramOptions::Action::UsageError);
}

void TestApp::profileNamesIgnoreCase_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("lower case, as from Windows") << QByteArray("com4newacc") << QByteArray("baudrate");
    QTest::newRow("mixed case") << QByteArray("Com4NewAcc") << QByteArray("BAUDRATE");
    QTest::newRow("our own spelling") << QByteArray("COM4NEWACC") << QByteArray("BaudRate");
}

// A settings file brought from Windows is read whatever the letter case of its names, and
// written back into the same section and key instead of a second one beside it.
void TestApp::profileNamesIgnoreCase()
{
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QVERIFY(testsupport::writeFile(ini, "[" + section + "]\n" + key + "=4800\n"));
    {
        ProfileStore store(ini);
        ConnectionBlock c = settings::readNewAccountConnection(store);
        QCOMPARE(c.dcb.BaudRate, std::uint32_t(4800));
        c.dcb.BaudRate = 19200;
        settings::writeNewAccountConnection(store, c);
    }
    const QByteArray written = testsupport::readFile(ini);
    QVERIFY2(written.startsWith(QByteArray("[" + section + "]\n")), written.constData());
    QCOMPARE(written.count("["), 1);
    QVERIFY2(written.contains(QByteArray("\n" + key + "=19200\n")), written.constData());
    QCOMPARE(written.toLower().count("baudrate"), 1);
}

void TestApp::faceNameIsCut()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    const QString forty = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd"_s;
    QVERIFY(testsupport::writeFile(ini, (u"[ReportViewFont]\nFaceName="_s + forty + u"\n"_s).toUtf8()));
    ProfileStore store(ini);
    const LogFont f = settings::readFont(store, settings::kSectionViewFont);
    QCOMPARE(f.FaceName, forty.left(31));
    // The other section is read even though it is absent.
    QCOMPARE(settings::readFont(store, settings::kSectionPrintFont), LogFont());
}

void TestApp::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("admin");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("open");
    QTest::newRow("none") << QStringList{} << false << QString() << false;
    QTest::newRow("/ADMIN") << QStringList{u"/ADMIN"_s} << true << QString() << false;
    QTest::newRow("-admin") << QStringList{u"-admin"_s} << true << QString() << false;
    QTest::newRow("/Admin") << QStringList{u"/Admin"_s} << true << QString() << false;
    QTest::newRow("admin alone is a file") << QStringList{u"admin"_s} << false << u"admin"_s << true;
    QTest::newRow("file then flag last") << QStringList{u"r.tsr"_s, u"/admin"_s} << true << u"r.tsr"_s << true;
    QTest::newRow("flag then file") << QStringList{u"-ADMIN"_s, u"r.tsr"_s} << true << u"r.tsr"_s << true;
    QTest::newRow("absolute path is a file") << QStringList{u"/home/engineer/r.tsr"_s} << false
                                             << u"/home/engineer/r.tsr"_s << true;
    QTest::newRow("other flags ignored") << QStringList{u"-x"_s} << false << QString() << false;
    QTest::newRow("first file wins") << QStringList{u"a.tsr"_s, u"b.tsr"_s} << false << u"a.tsr"_s << true;
}

void TestApp::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, admin);
    QFETCH(QString, file);
    QFETCH(bool, open);
    CLorn2CmdLineInfo info;
    info.ParseCommandLine(args);
    QCOMPARE(info.m_bAdmin, admin);
    QCOMPARE(info.m_strFileName, file);
    QCOMPARE(info.m_nShellCommand == CLorn2CmdLineInfo::FileOpen, open);
}

void TestApp::secondProcessSeesTheLock()
{
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"Lorn2SingleInstMutex.lock"_s);
    LockHolder first(lock);
    QCOMPARE(first.state(), u"created"_s);
    LockHolder second(lock);
    QCOMPARE(second.state(), u"exists"_s);
    InstanceGuard here(lock);
    QCOMPARE(here.acquire(), InstanceGuard::State::AlreadyExists);
    InstanceGuard unusable(dir.filePath(u"no/such/folder/x.lock"_s));
    QCOMPARE(unusable.acquire(), InstanceGuard::State::CannotCreate);
}

// Each user's runtime folder holds that user's lock: two users' programs never meet.
void TestApp::locksPerUser()
{
    QTemporaryDir alice;
    QTemporaryDir bob;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(alice.path()));
    const QString aliceLock = InstanceGuard::defaultLockPath();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(bob.path()));
    const QString bobLock = InstanceGuard::defaultLockPath();
    // Without a runtime folder the temporary folder serves, with the user id in the name.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = InstanceGuard::defaultLockPath();
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);

    QCOMPARE(aliceLock, alice.filePath(u"Lorn2SingleInstMutex.lock"_s));
    QCOMPARE(bobLock, bob.filePath(u"Lorn2SingleInstMutex.lock"_s));
    QCOMPARE(fallback, QDir::tempPath() + u"/Lorn2SingleInstMutex-%1.lock"_s.arg(::getuid()));
    LockHolder first(aliceLock);
    QCOMPARE(first.state(), u"created"_s);
    LockHolder second(bobLock);
    QCOMPARE(second.state(), u"created"_s);
}

void TestApp::lockOfAKilledInstanceIsFree()
{
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"Lorn2SingleInstMutex.lock"_s);
    LockHolder first(lock);
    QCOMPARE(first.state(), u"created"_s);
    QCOMPARE(TerminateOtherInstances(u"lorn2-testlock"_s), 1);
    QVERIFY(first.finishedBySignal9());
    InstanceGuard here(lock);
    QCOMPARE(here.acquire(), InstanceGuard::State::Created);
}

void TestApp::instanceQuestions_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("continues");
    QTest::addColumn<bool>("otherKilled");
    QTest::addColumn<int>("questions");
    QTest::newRow("yes terminates the other") << QList<int>{int(MbAnswer::Yes)} << true << true << 1;
    QTest::newRow("no, no ends") << QList<int>{int(MbAnswer::No), int(MbAnswer::No)} << false << false << 2;
    QTest::newRow("no, yes runs beside") << QList<int>{int(MbAnswer::No), int(MbAnswer::Yes)} << true << false << 2;
}

void TestApp::instanceQuestions()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, continues);
    QFETCH(bool, otherKilled);
    QFETCH(int, questions);
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"Lorn2SingleInstMutex.lock"_s);
    LockHolder other(lock);
    QCOMPARE(other.state(), u"created"_s);

    testsupport::MessageRecorder rec;
    for (int a : answers)
        rec->setNextAnswer(MbAnswer(a));
    AppOptions options;
    options.lockPath = lock;
    options.imageName = u"lorn2-testlock"_s;
    CLorn2App app(options);
    QCOMPARE(app.checkSingleInstance(), continues);
    const QStringList texts = rec->texts();
    QCOMPARE(texts.size(), questions);
    QCOMPARE(texts[0], u"Lor2 уже запущен.\nПопытаться завершить другие экземпляры Lorn2?"_s);
    if (questions > 1)
        QCOMPARE(texts[1], u"Продолжить работу этого экземпляра приложения Lorn2?"_s);
    QCOMPARE(rec->shown()[0].buttons, MbButtons::YesNo);
    if (otherKilled)
        QVERIFY(other.finishedBySignal9());
    else
        QVERIFY(other.running());
}

void TestApp::startUpInWorkingFolder()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    testsupport::MessageRecorder rec;
    {
        AppOptions options;
        options.lockPath = dir.filePath(u"lock"_s);
        CLorn2App app(options);
        RecordingFrontEnd fe;
        QVERIFY(app.InitInstance({u"/ADMIN"_s}, fe));
        QCOMPARE(app.WorkingFolder, QDir(dir.path()).canonicalPath());
        QVERIFY(app.settingsInWorkingFolder());
        QCOMPARE(app.profile().path(), app.WorkingFolder + u"/lorn2.ini"_s);
        QVERIFY(app.AdminMode);
        QVERIFY(app.ArchiveDatabase.isOpen());
        QCOMPARE(fe.doc, app.document());
        QVERIFY(fe.shown);
        QCOMPARE(fe.splash, u"Чтение базы данных теплосчётчиков..."_s);
        app.ExitInstance();
        QVERIFY(!app.ArchiveDatabase.isOpen());
    }
    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(rec->texts(), QStringList());
    QCOMPARE(keysOf(dir.filePath(u"lorn2.ini"_s), u"COM4NEWACC"_s).size(), 28);

    // The database holds the three tables and stores text as UTF-16.
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(dir.filePath(u"lorn2.sqlite"_s).toUtf8().constData(), &db), SQLITE_OK);
    QStringList tables;
    QString encoding;
    auto collect = [](void* out, int, char** values, char**) {
        *static_cast<QStringList*>(out) << QString::fromUtf8(values[0]);
        return 0;
    };
    QCOMPARE(sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name", collect, &tables,
                          nullptr),
             SQLITE_OK);
    QStringList enc;
    QCOMPARE(sqlite3_exec(db, "PRAGMA encoding", collect, &enc, nullptr), SQLITE_OK);
    sqlite3_close(db);
    tables.removeAll(u"sqlite_sequence"_s);
    QCOMPARE(tables, (QStringList{u"ARCRECS"_s, u"CFGARCRECS"_s, u"DEVTYPES"_s}));
    QVERIFY(enc.value(0).startsWith(u"UTF-16"_s));
}

void TestApp::startUpEndsWhenTheFrameFails()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    AppOptions options;
    options.instanceControl = false;
    CLorn2App app(options);
    RecordingFrontEnd fe;
    fe.frameResult = false;
    QVERIFY(!app.InitInstance({}, fe));
    QVERIFY(!fe.shown);
    QVERIFY(QDir::setCurrent(previous));
}

void TestApp::databaseFailureIsReported()
{
    QTemporaryDir dir;
    // A folder where the database file should be cannot be opened as one.
    QVERIFY(QDir(dir.path()).mkpath(u"lorn2.sqlite/x"_s));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    testsupport::MessageRecorder rec;
    AppOptions options;
    options.instanceControl = false;
    CLorn2App app(options);
    RecordingFrontEnd fe;
    QVERIFY(app.InitInstance({}, fe));
    QVERIFY(!app.ArchiveDatabase.isOpen());
    QCOMPARE(rec->texts(), QStringList{u"Failed to connect database!\nDaily and Monthly archives are anavailable."_s});
    QCOMPARE(rec->shown()[0].icon, MbIcon::Error);
    app.ExitInstance();
    QVERIFY(QDir::setCurrent(previous));
}

void TestApp::parametersConvertPoints_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("heightBack");
    QTest::newRow("default at 96 dpi") << -10 << 96 << 8 << -10;
    QTest::newRow("12 px at 96 dpi") << -12 << 96 << 9 << -12;
    QTest::newRow("at 72 dpi") << -10 << 72 << 10 << -10;
    QTest::newRow("at 120 dpi") << -13 << 120 << 8 << -13;
    QTest::newRow("positive height") << 16 << 96 << -12 << 16;
}

void TestApp::parametersConvertPoints()
{
    QFETCH(int, height);
    QFETCH(int, dpi);
    QFETCH(int, points);
    QFETCH(int, heightBack);
    QCOMPARE(CLorn2Doc::pointsFromHeight(height, dpi), points);
    QCOMPARE(CLorn2Doc::heightFromPoints(points, dpi), heightBack);
}

void TestApp::parametersCommand()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    ScriptedShell shell;
    {
        ProfileStore store(ini);
        CLorn2Doc doc(store, dir.path());
        doc.setShell(&shell);
        shell.acceptParameters = false;
        doc.OnParameters();
        QCOMPARE(shell.shownPoints, 8);
        QCOMPARE(shell.shownTab, 8);
        QCOMPARE(keysOf(ini, u"Settings"_s), QStringList());

        shell.acceptParameters = true;
        doc.OnParameters();
        QCOMPARE(doc.m_tabSize, 4);
        QCOMPARE(doc.m_viewFont.Height, -16);
        QCOMPARE(doc.m_printFont, LogFont());
        QCOMPARE(shell.repaints, 1);
    }
    QVERIFY(testsupport::iniSection(ini, u"Settings"_s).contains(u"ReportTabSize=4"_s));
    QVERIFY(testsupport::iniSection(ini, u"ReportViewFont"_s).contains(u"Height=-16"_s));
    // The print font is written back with its current values.
    QVERIFY(testsupport::iniSection(ini, u"ReportPrintFont"_s).contains(u"Height=-10"_s));
    ProfileStore store(ini);
    CLorn2Doc doc(store, dir.path());
    QCOMPARE(doc.m_tabSize, 4);
    QCOMPARE(doc.m_viewFont.Height, -16);
}

void TestApp::parametersWithoutView()
{
    QTemporaryDir dir;
    ProfileStore store(dir.filePath(u"lorn2.ini"_s));
    CLorn2Doc doc(store, dir.path());
    ScriptedShell shell;
    shell.dpi = std::nullopt;
    doc.setShell(&shell);
    testsupport::MessageRecorder rec;
    doc.OnParameters();
    QCOMPARE(rec->texts(), QStringList{u"System error: failed to get screen"_s});
    QCOMPARE(shell.shownTab, -1);
}

QTEST_GUILESS_MAIN(TestApp)
#include "TestApp.moc"
