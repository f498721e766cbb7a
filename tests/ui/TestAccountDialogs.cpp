#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "base/CodePage.h"
#include "base/StringTable.h"
#include "storage/DeviceTypes.h"
#include "ui/CDelTSFilesDlg.h"
#include "ui/CDevAccountDlg.h"
#include "ui/CDevTypeDlg.h"
#include "ui/FileDialog.h"

using namespace Qt::Literals::StringLiterals;

using uitest::onNextModal;

namespace {

const QString kEditCaption = u"Редактирование учётной записи ТС"_s;

CDevData sampleAccount(const QString& folder)
{
    CDevData r;
    r.m_serial = 1234;
    r.m_type = 2;
    r.m_netAddress = 0x0A;
    r.m_consumer = u"ООО «Тепло»"_s;
    r.m_phone = u"+7 495 000-00-00"_s;
    r.m_consumerId = u"A-17"_s;
    r.m_address = u"ул. Ленина, 1"_s;
    r.m_contact = u"Иванов И. И."_s;
    r.m_folder = folder;
    r.m_printVolumes = {true, false, true};
    r.m_useAccountForHeader = true;
    return r;
}

// A configuration memory with the consumer fields at their places.
QByteArray configWith(const QByteArray& consumer, const QByteArray& phone, const QByteArray& id,
                      const QByteArray& address, const QByteArray& contact, int size = 512)
{
    QByteArray config(size, '\x55');
    const auto put = [&config](int offset, const QByteArray& bytes) {
        for (qsizetype i = 0; i < bytes.size() && offset + i < config.size(); ++i)
            config[offset + i] = bytes[i];
    };
    put(312, consumer);
    put(362, phone);
    put(372, id);
    put(384, address);
    put(439, contact);
    return config;
}

// A field's text with its terminating zero byte.
QByteArray z(const QByteArray& text)
{
    return text + '\0';
}

QByteArray ansi(const QString& text)
{
    return codepage::toAnsi(text);
}

} // namespace

class TestAccountDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void init();

    void showsRecord_data();
    void showsRecord();
    void okRefuses_data();
    void okRefuses();
    void fieldsRoundTrip();
    void cancelKeepsRecord();

    void mapChooserStart_data();
    void mapChooserStart();
    void mapOnOk_data();
    void mapOnOk();
    void mapCopyFailure();

    void consumerFields_data();
    void consumerFields();
    void fieldsFromDevice();

    void typeDialog_data();
    void typeDialog();
    void typeDialogWithoutEntries();
    void deleteFilesDialog_data();
    void deleteFilesDialog();

    void nameFilters_data();
    void nameFilters();
    void defaultExtension_data();
    void defaultExtension();
    void realSaveDialog();

    void screenshot();
};

void TestAccountDialogs::init()
{
    FileDialog::clearNextFileNames();
}

void TestAccountDialogs::showsRecord_data()
{
    QTest::addColumn<bool>("newAccount");
    QTest::addColumn<QString>("mapFile");
    QTest::addColumn<QString>("mapShown");
    QTest::newRow("edit, map by name") << false << u"karna.map"_s << u"karna.map"_s;
    QTest::newRow("new, map by path") << true << u"/opt/maps/velos.map"_s << u"velos.map"_s;
    QTest::newRow("no map") << false << QString() << u"<Не задана карта памяти>"_s;
}

void TestAccountDialogs::showsRecord()
{
    QFETCH(bool, newAccount);
    QFETCH(QString, mapFile);
    QFETCH(QString, mapShown);
    CDevData record = sampleAccount(u"/nowhere/Velos2_01234"_s);
    record.m_mapFile = mapFile;
    CDevAccountDlg dialog(record, newAccount, kEditCaption, u"/nowhere"_s);

    QCOMPARE(dialog.windowTitle(), u"Параметры учётной записи"_s);
    QCOMPARE(dialog.serialEdit()->text(), u"1234"_s);
    QCOMPARE(dialog.typeBox()->currentText(), u"Велос-2"_s);
    QCOMPARE(dialog.typeBox()->count(), devtypes::count());
    QCOMPARE(dialog.serialEdit()->isEnabled(), newAccount);
    QCOMPARE(dialog.typeBox()->isEnabled(), newAccount);
    QCOMPARE(dialog.netAddressEdit()->text(), u"0A"_s);
    QCOMPARE(dialog.netAddressEdit()->maxLength(), 2);
    QCOMPARE(dialog.consumerEdit()->text(), record.m_consumer);
    QCOMPARE(dialog.phoneEdit()->text(), record.m_phone);
    QCOMPARE(dialog.consumerIdEdit()->text(), record.m_consumerId);
    QCOMPARE(dialog.addressEdit()->text(), record.m_address);
    QCOMPARE(dialog.contactEdit()->text(), record.m_contact);
    QCOMPARE(dialog.mapEdit()->text(), mapShown);
    QVERIFY(dialog.printVolumeBox(0)->isChecked());
    QVERIFY(!dialog.printVolumeBox(1)->isChecked());
    QVERIFY(dialog.printVolumeBox(2)->isChecked());
    QCOMPARE(dialog.printVolumeBox(1)->text(), u"Печатать объем для контура 2"_s);
    QVERIFY(dialog.headerBox()->isChecked());
    QCOMPARE(dialog.headerBox()->text(), u"Использовать для заголовка учётную запись"_s);
    // Present but not yet working.
    for (QPushButton* button : {dialog.connectionButton(), dialog.readButton()}) {
        QVERIFY(!button->isEnabled());
        QVERIFY(!button->toolTip().isEmpty());
    }
    QCOMPARE(dialog.connectionButton()->text(), u"Настройки связи с ТС..."_s);
    QCOMPARE(dialog.readButton()->text(), u"Считать из ТС..."_s);
}

void TestAccountDialogs::okRefuses_data()
{
    QTest::addColumn<bool>("newAccount");
    QTest::addColumn<int>("type"); // combo index, -1 none
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("netAddress");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");
    const QString range = u"Введите целое число от 1 до 65534."_s;
    const QString hex = u"Введите сетевой адрес: две шестнадцатеричные цифры, от 00 до FF."_s;
    QTest::newRow("no type") << true << -1 << u"100"_s << u"01"_s << u"Не выбран тип"_s << int(MbIcon::Error);
    QTest::newRow("no type on edit") << false << -1 << u"100"_s << u"01"_s << u"Не выбран тип"_s << int(MbIcon::Error);
    QTest::newRow("serial 0") << true << 0 << u"0"_s << u"01"_s << range << int(MbIcon::Warning);
    QTest::newRow("serial 65535") << true << 0 << u"65535"_s << u"01"_s << range << int(MbIcon::Warning);
    QTest::newRow("serial empty") << true << 0 << QString() << u"01"_s << range << int(MbIcon::Warning);
    QTest::newRow("hex letters") << true << 0 << u"1"_s << u"G1"_s << hex << int(MbIcon::Warning);
    QTest::newRow("hex empty") << false << 0 << u"1"_s << QString() << hex << int(MbIcon::Warning);
    QTest::newRow("hex sign") << false << 0 << u"1"_s << u"-1"_s << hex << int(MbIcon::Warning);
}

void TestAccountDialogs::okRefuses()
{
    QFETCH(bool, newAccount);
    QFETCH(int, type);
    QFETCH(QString, serial);
    QFETCH(QString, netAddress);
    QFETCH(QString, message);
    QFETCH(int, icon);
    testsupport::MessageRecorder recorder;
    const CDevData record = sampleAccount(QString());
    CDevAccountDlg dialog(record, newAccount, kEditCaption, u"/nowhere"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.typeBox()->setCurrentIndex(type);
    dialog.serialEdit()->setText(serial);
    dialog.netAddressEdit()->setText(netAddress);
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);

    const std::vector<MessageRequest> shown = recorder->shown();
    QCOMPARE(shown.size(), std::size_t(1));
    QCOMPARE(shown.front().text, message);
    QCOMPARE(shown.front().caption, kEditCaption);
    QCOMPARE(int(shown.front().icon), icon);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.record().m_serial, record.m_serial);
    QCOMPARE(dialog.record().m_type, record.m_type);
}

void TestAccountDialogs::fieldsRoundTrip()
{
    testsupport::MessageRecorder recorder;
    uitest::FrameFixture f;
    CDevData record;
    record.m_connection.port = 3;
    onNextModal<CDevAccountDlg>(this, [](CDevAccountDlg& dialog) {
        QTest::keyClicks(dialog.serialEdit(), u"65534"_s);
        dialog.typeBox()->setCurrentIndex(2);
        dialog.netAddressEdit()->selectAll();
        QTest::keyClicks(dialog.netAddressEdit(), u"fe"_s);
        // QTest types ASCII only.
        dialog.consumerEdit()->setText(u"Потребитель"_s);
        QTest::keyClicks(dialog.phoneEdit(), u"123-45"_s);
        QTest::keyClicks(dialog.consumerIdEdit(), u"ID 9"_s);
        dialog.addressEdit()->setText(u"Москва, 1"_s);
        dialog.contactEdit()->setText(u"Петров"_s);
        QTest::mouseClick(dialog.printVolumeBox(1), Qt::LeftButton);
        QTest::mouseClick(dialog.headerBox(), Qt::LeftButton);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    });
    QVERIFY(f.frame->editAccount(record, true, QString()));

    QVERIFY(recorder->texts().isEmpty());
    QCOMPARE(record.m_serial, 65534);
    QCOMPARE(record.m_type, 3);
    QCOMPARE(record.m_netAddress, 0xFE);
    QCOMPARE(record.m_consumer, u"Потребитель"_s);
    QCOMPARE(record.m_phone, u"123-45"_s);
    QCOMPARE(record.m_consumerId, u"ID 9"_s);
    QCOMPARE(record.m_address, u"Москва, 1"_s);
    QCOMPARE(record.m_contact, u"Петров"_s);
    QCOMPARE(record.m_printVolumes, (std::array<bool, 3>{false, true, false}));
    QVERIFY(record.m_useAccountForHeader);
    // What the dialog does not edit comes back as it went in.
    QCOMPARE(record.m_connection.port, 3);
    QVERIFY(record.m_mapFile.isEmpty());
    QVERIFY(!record.m_mapChanged);
}

void TestAccountDialogs::cancelKeepsRecord()
{
    uitest::FrameFixture f;
    CDevData record = sampleAccount(QString());
    onNextModal<CDevAccountDlg>(this, [](CDevAccountDlg& dialog) {
        dialog.consumerEdit()->setText(u"другой"_s);
        dialog.reject();
    });
    QVERIFY(!f.frame->editAccount(record, false, kEditCaption));
    QCOMPARE(record.m_consumer, sampleAccount(QString()).m_consumer);
}

void TestAccountDialogs::mapChooserStart_data()
{
    QTest::addColumn<QString>("mapFile"); // "<work>" and "<account>" stand for the folders
    QTest::addColumn<QString>("startFolder");
    QTest::newRow("no map") << QString() << u"<work>/Maps"_s;
    QTest::newRow("name only") << u"karna.map"_s << u"<account>"_s;
    QTest::newRow("full path") << u"<work>/elsewhere/karna.map"_s << u"<work>/elsewhere"_s;
}

void TestAccountDialogs::mapChooserStart()
{
    QFETCH(QString, mapFile);
    QFETCH(QString, startFolder);
    QTemporaryDir work;
    const QString accountFolder = work.filePath(u"Devices/Velos2_01234"_s);
    const auto expand = [&](QString s) {
        return s.replace(u"<work>"_s, work.path()).replace(u"<account>"_s, accountFolder);
    };
    CDevData record = sampleAccount(accountFolder);
    record.m_mapFile = expand(mapFile);
    CDevAccountDlg dialog(record, false, kEditCaption, work.path());

    // A cancelled chooser changes nothing.
    FileDialog::setNextFileName(QString());
    dialog.chooseMap();
    const std::optional<FileDialogSpec> asked = FileDialog::lastRequest();
    QVERIFY(asked.has_value());
    QCOMPARE(asked->folder, expand(startFolder));
    QCOMPARE(asked->title, u"Выбор карты памяти"_s);
    QCOMPARE(asked->filter, u"Файлы карт памяти (*.map)|*.map|Все файлы (*.*)|*.*||"_s);
    QCOMPARE(asked->defaultExtension, u"map"_s);
    QVERIFY(!dialog.mapChanged());

    // A name typed without extension gets ".map".
    FileDialog::setNextFileName(work.filePath(u"new/darna"_s));
    QTest::mouseClick(dialog.mapButton(), Qt::LeftButton);
    QVERIFY(dialog.mapChanged());
    QCOMPARE(dialog.mapPath(), work.filePath(u"new/darna.map"_s));
    QCOMPARE(dialog.mapEdit()->text(), u"darna.map"_s);
}

void TestAccountDialogs::mapOnOk_data()
{
    QTest::addColumn<bool>("newAccount");
    QTest::addColumn<bool>("chooseOwnMap");
    QTest::newRow("new account") << true << false;
    QTest::newRow("existing account") << false << false;
    QTest::newRow("existing account, its own map again") << false << true;
}

void TestAccountDialogs::mapOnOk()
{
    QFETCH(bool, newAccount);
    QFETCH(bool, chooseOwnMap);
    testsupport::MessageRecorder recorder;
    QTemporaryDir work;
    const QString accountFolder = work.filePath(u"Devices/Velos2_01234"_s);
    QVERIFY(QDir().mkpath(accountFolder));
    QVERIFY(QDir().mkpath(work.filePath(u"Maps"_s)));
    const QString chosen = chooseOwnMap ? accountFolder + u"/velos.map"_s : work.filePath(u"Maps/velos.map"_s);
    QVERIFY(testsupport::writeFile(accountFolder + u"/velos.map"_s, "old map"));
    if (!chooseOwnMap)
        QVERIFY(testsupport::writeFile(chosen, "new map"));
    const QByteArray expected = chooseOwnMap ? "old map" : "new map";

    CDevData record = sampleAccount(newAccount ? QString() : accountFolder);
    record.m_mapFile = u"karna.map"_s;
    CDevAccountDlg dialog(record, newAccount, kEditCaption, work.path());
    dialog.show();
    FileDialog::setNextFileName(chosen);
    dialog.chooseMap();
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    if (newAccount) {
        // Adding the account copies the map; nothing is written yet.
        QVERIFY(recorder->texts().isEmpty());
        QCOMPARE(dialog.record().m_mapFile, chosen);
        QVERIFY(dialog.record().m_mapChanged);
        QCOMPARE(testsupport::readFile(accountFolder + u"/velos.map"_s), QByteArray("old map"));
    } else {
        QCOMPARE(recorder->texts(), QStringList{LoadResString(223)});
        QCOMPARE(recorder->shown().front().caption, kEditCaption);
        QCOMPARE(testsupport::readFile(accountFolder + u"/velos.map"_s), expected);
        // The next save names the new map, which the next start reads.
        QCOMPARE(dialog.record().m_mapFile, u"velos.map"_s);
        QVERIFY(!dialog.record().m_mapChanged);
    }
}

void TestAccountDialogs::mapCopyFailure()
{
    testsupport::MessageRecorder recorder;
    QTemporaryDir work;
    const QString accountFolder = work.filePath(u"Devices/Velos2_01234"_s);
    QVERIFY(QDir().mkpath(accountFolder));
    CDevData record = sampleAccount(accountFolder);
    record.m_mapFile = u"karna.map"_s;
    CDevAccountDlg dialog(record, false, kEditCaption, work.path());
    dialog.show();
    // Chosen, then gone before OK.
    FileDialog::setNextFileName(work.filePath(u"gone.map"_s));
    dialog.chooseMap();
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);

    const std::vector<MessageRequest> shown = recorder->shown();
    QCOMPARE(shown.size(), std::size_t(1));
    QVERIFY2(shown.front().text.startsWith(u"Не удалось скопировать файл карты памяти: "_s),
             qPrintable(shown.front().text));
    QVERIFY(shown.front().text.size() > LoadResString(191).size());
    QCOMPARE(shown.front().icon, MbIcon::Error);
    QCOMPARE(shown.front().caption, kEditCaption);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.record().m_mapFile, u"karna.map"_s);
    QVERIFY(!QFileInfo::exists(accountFolder + u"/gone.map"_s));
}

void TestAccountDialogs::consumerFields_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("zero-terminated, windows-1251")
        << configWith(z(ansi(u"Теплосеть"_s)), z("12345"), z("ID-1"), z(ansi(u"Ленина 1"_s)), z(ansi(u"Иван"_s)))
        << QStringList{u"Теплосеть"_s, u"12345"_s, u"ID-1"_s, u"Ленина 1"_s, u"Иван"_s};
    // Without a zero byte each field ends at its size, not in the next field.
    QTest::newRow("full fields")
        << configWith(QByteArray(50, 'C'), "0123456789", "ABCDEFGHIJKL", QByteArray(41, 'A'), QByteArray(45, 'P'))
        << QStringList{QString(50, u'C'), u"0123456789"_s, u"ABCDEFGHIJKL"_s, QString(41, u'A'), QString(45, u'P')};
    QTest::newRow("empty fields") << configWith(z({}), z({}), z({}), z({}), z({}))
                                  << QStringList{QString(), QString(), QString(), QString(), QString()};
    QTest::newRow("ends inside the address")
        << configWith(z("a"), z("b"), z("c"), "Long address text", z("x"), 390)
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"Long a"_s, QString()};
    QTest::newRow("no bytes") << QByteArray() << QStringList{QString(), QString(), QString(), QString(), QString()};
}

void TestAccountDialogs::consumerFields()
{
    QFETCH(QByteArray, config);
    QFETCH(QStringList, fields);
    const ui::ConsumerFields got = ui::consumerFieldsFromConfig(config);
    QCOMPARE((QStringList{got.consumer, got.phone, got.consumerId, got.address, got.contact}), fields);
}

void TestAccountDialogs::fieldsFromDevice()
{
    testsupport::MessageRecorder recorder;
    CDevAccountDlg dialog(sampleAccount(QString()), true, QString(), u"/nowhere"_s);
    CDevData read;
    read.m_serial = 777;
    read.m_netAddress = 0x3C;
    QVERIFY(!dialog.takeFieldsFromDevice(read));
    QCOMPARE(recorder->texts(), QStringList{u"Конфигурация не загружена"_s});
    QCOMPARE(dialog.serialEdit()->text(), u"1234"_s);

    read.m_config = configWith(z("Consumer"), z("555"), z("X"), z("Addr"), z("Who"));
    QVERIFY(dialog.takeFieldsFromDevice(read));
    QCOMPARE(dialog.serialEdit()->text(), u"777"_s);
    QCOMPARE(dialog.netAddressEdit()->text(), u"3C"_s);
    QCOMPARE(dialog.consumerEdit()->text(), u"Consumer"_s);
    QCOMPARE(dialog.phoneEdit()->text(), u"555"_s);
    QCOMPARE(dialog.consumerIdEdit()->text(), u"X"_s);
    QCOMPARE(dialog.addressEdit()->text(), u"Addr"_s);
    QCOMPARE(dialog.contactEdit()->text(), u"Who"_s);
}

void TestAccountDialogs::typeDialog_data()
{
    QTest::addColumn<int>("pick");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("account"); // -1: cancelled
    QTest::newRow("first, as offered") << 0 << true << 0;
    QTest::newRow("second") << 1 << true << 2;
    QTest::newRow("cancel") << 1 << false << -1;
}

void TestAccountDialogs::typeDialog()
{
    QFETCH(int, pick);
    QFETCH(bool, accept);
    QFETCH(int, account);
    testsupport::MessageRecorder recorder;
    // Loaded in folder-name order: Karna1_00500, Velos2_00100, Velos2_00500.
    uitest::FrameFixture f({{500, 2, QString()}, {100, 2, QString()}, {500, 1, QString()}});
    QStringList offered;
    int firstShown = -2;
    onNextModal<CDevTypeDlg>(this, [&](CDevTypeDlg& dialog) {
        for (int i = 0; i < dialog.typeBox()->count(); ++i)
            offered << dialog.typeBox()->itemText(i);
        firstShown = dialog.typeBox()->currentIndex();
        dialog.typeBox()->setCurrentIndex(pick);
        if (accept)
            QTest::mouseClick(uitest::buttonByText(dialog, u"ОК"_s), Qt::LeftButton);
        else
            dialog.reject();
    });
    const std::optional<int> chosen = f.frame->chooseAccountByType(f.document.findBySerial(500));

    QCOMPARE(offered, (QStringList{u"Карна-1"_s, u"Велос-2"_s}));
    QCOMPARE(firstShown, 0);
    QCOMPARE(chosen, account < 0 ? std::optional<int>() : std::optional<int>(account));
    QVERIFY(recorder->texts().isEmpty());
}

void TestAccountDialogs::typeDialogWithoutEntries()
{
    testsupport::MessageRecorder recorder;
    CDevTypeDlg dialog(std::vector<CDevTypeDlg::Entry>{});
    dialog.show();
    QTest::mouseClick(uitest::buttonByText(dialog, u"ОК"_s), Qt::LeftButton);
    QCOMPARE(recorder->texts(), QStringList{u"Системная ошибка: невозможно получить тип ТС"_s});
    QCOMPARE(recorder->shown().front().icon, MbIcon::Error);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.chosen().account, -1);

    CDevTypeDlg two(std::vector<CDevTypeDlg::Entry>{{4, 1}, {9, 3}});
    two.typeBox()->setCurrentIndex(1);
    two.accept();
    QCOMPARE(two.chosen().account, 9);
    QCOMPARE(two.chosen().type, 3);
    QCOMPARE(two.chosenName(), u"Дарна-3"_s);
}

void TestAccountDialogs::deleteFilesDialog_data()
{
    QTest::addColumn<QString>("button"); // empty: Escape
    QTest::addColumn<int>("choice");
    QTest::newRow("delete") << u"&Удалить"_s << int(DeleteFilesChoice::Delete);
    QTest::newRow("move") << u"&Переместить"_s << int(DeleteFilesChoice::Move);
    QTest::newRow("cancel") << u"&Отмена"_s << int(DeleteFilesChoice::Cancel);
    QTest::newRow("escape") << QString() << int(DeleteFilesChoice::Cancel);
    QTest::newRow("enter") << u"\n"_s << int(DeleteFilesChoice::Cancel);
}

void TestAccountDialogs::deleteFilesDialog()
{
    QFETCH(QString, button);
    QFETCH(int, choice);
    uitest::FrameFixture f;
    QString title;
    QString text;
    onNextModal<CDelTSFilesDlg>(this, [&](CDelTSFilesDlg& dialog) {
        title = dialog.windowTitle();
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            text += label->text();
        if (button.isEmpty())
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else if (button == u"\n"_s)
            QTest::keyClick(&dialog, Qt::Key_Return);
        else
            QTest::mouseClick(uitest::buttonByText(dialog, button), Qt::LeftButton);
    });
    QCOMPARE(int(f.frame->askDeleteFiles()), choice);
    QCOMPARE(title, u"Удаление файлов ТС"_s);
    QCOMPARE(text, u"Удалить файлы ТС (конфигурация, архив) с жёсткого диска или переместить их в архив?"_s);
}

void TestAccountDialogs::nameFilters_data()
{
    QTest::addColumn<QString>("legacy");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("csv") << u"Файлы CSV(*.csv)|*.csv|Все файлы (*.*)|*.*||"_s
                         << QStringList{u"Файлы CSV(*.csv) (*.[cC][sS][vV])"_s, u"Все файлы (*.*) (*)"_s};
    QTest::newRow("several patterns") << u"Maps|*.map;*.txt||"_s
                                      << QStringList{u"Maps (*.[mM][aA][pP] *.[tT][xX][tT])"_s};
    QTest::newRow("no end marker") << u"Reports|*.tsr"_s << QStringList{u"Reports (*.[tT][sS][rR])"_s};
    QTest::newRow("empty") << QString() << QStringList{};
}

void TestAccountDialogs::nameFilters()
{
    QFETCH(QString, legacy);
    QFETCH(QStringList, filters);
    QCOMPARE(FileDialog::nameFilters(legacy), filters);
}

void TestAccountDialogs::defaultExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::newRow("none") << u"/tmp/devices"_s << u"/tmp/devices.csv"_s;
    QTest::newRow("own") << u"/tmp/devices.txt"_s << u"/tmp/devices.txt"_s;
    QTest::newRow("dot in folder") << u"/tmp/a.b/devices"_s << u"/tmp/a.b/devices.csv"_s;
    QTest::newRow("cancelled") << QString() << QString();
}

void TestAccountDialogs::defaultExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, result);
    QCOMPARE(FileDialog::withDefaultExtension(path, u"csv"_s), result);
}

void TestAccountDialogs::realSaveDialog()
{
    // The dialog itself, not the script: the typed name gets its extension, and an existing file
    // is only replaced after a question.
    QTemporaryDir work;
    QVERIFY(testsupport::writeFile(work.filePath(u"old.csv"_s), "x"));
    FileDialogSpec request{u"Экспорт"_s, LoadResString(201), u"csv"_s, u"devices"_s, work.path()};

    // The dialog reads its folder in the background and may select again when done: type after.
    const auto typeName = [](QFileDialog& dialog, const QString& name) {
        QTest::qWait(300);
        if (auto* edit = dialog.findChild<QLineEdit*>(u"fileNameEdit"_s))
            edit->setText(name);
    };
    QString shownName;
    onNextModal<QFileDialog>(this, [&](QFileDialog& dialog) {
        if (auto* name = dialog.findChild<QLineEdit*>(u"fileNameEdit"_s))
            shownName = name->text();
        typeName(dialog, u"list"_s);
        QMetaObject::invokeMethod(&dialog, "accept", Qt::DirectConnection);
    });
    QCOMPARE(FileDialog::getSaveFileName(nullptr, request), work.filePath(u"list.csv"_s));
    QCOMPARE(shownName, u"devices"_s);

    bool asked = false;
    onNextModal<QFileDialog>(this, [&](QFileDialog& dialog) {
        typeName(dialog, u"old"_s);
        onNextModal<QMessageBox>(this, [&](QMessageBox& box) {
            asked = true;
            box.button(QMessageBox::Yes) != nullptr ? box.button(QMessageBox::Yes)->click() : box.accept();
        });
        QMetaObject::invokeMethod(&dialog, "accept", Qt::DirectConnection);
    });
    QCOMPARE(FileDialog::getSaveFileName(nullptr, request), work.filePath(u"old.csv"_s));
    QVERIFY(asked);
}

void TestAccountDialogs::screenshot()
{
    QTemporaryDir work;
    CDevData record = sampleAccount(work.filePath(u"Devices/Velos2_01234"_s));
    record.m_mapFile = u"velos.map"_s;
    CDevAccountDlg dialog(record, false, kEditCaption, work.path());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage image = dialog.grab().toImage();
    QVERIFY(!image.isNull());
    // Everything fits at the size the layout asks for.
    QVERIFY(dialog.width() >= dialog.minimumSizeHint().width());
    uitest::keepScreenshot(image, u"account-dialog.png"_s);
}

int runAccountDialogTests(int argc, char** argv)
{
    TestAccountDialogs tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestAccountDialogs.moc"
