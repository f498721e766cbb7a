#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "base/CodePage.h"
#include "link/CComPort.h"
#include "storage/CDevData.h"
#include "ui/CConParamsDlg.h"
#include "ui/PortMapDlg.h"
#include "ui/CPortSettingsDlg.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(DeviceControlBlock)

using uitest::onNextModal;

namespace {

const QStringList kPorts{u"COM10"_s, u"COM2"_s, u"COM1"_s};

CDevData sampleAccount()
{
    CDevData r;
    r.m_serial = 4321;
    r.m_type = 1;
    r.m_connection.port = 2;
    r.m_connection.dcb = defaultDeviceControlBlock();
    r.m_connection.dcb.XonLim = 77; // a field no control edits
    r.m_answerTimeout = 2500;
    r.m_retries = 4;
    r.m_useModem = true;
    r.m_modem.useModem = true;
    r.m_modem.phone = codepage::toAnsi(u"8-495 доб. 12"_s);
    r.m_modem.initString = QByteArrayLiteral("ATZ");
    r.m_perContourRead = true;
    return r;
}

// A block with the display-relevant fields set: stop bits, parity, parity flag and flow flags.
DeviceControlBlock block(int stopBits, int parity, bool parityFlag, bool xonxoff, bool cts, int rtsControl)
{
    DeviceControlBlock dcb = defaultDeviceControlBlock();
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.StopBits = std::uint8_t(stopBits);
    dcb.Parity = std::uint8_t(parity);
    setDcbFlag(dcb, DcbFlag::fParity, parityFlag ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fOutX, xonxoff ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fInX, xonxoff ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fOutxCtsFlow, cts ? 1 : 0);
    setDcbFlag(dcb, DcbFlag::fRtsControl, std::uint32_t(rtsControl));
    return dcb;
}

QStringList items(const QComboBox& box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out << box.itemText(i);
    return out;
}

} // namespace

class TestConParamsDlg : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }

    void portList_data();
    void portList();
    void portListNamesTargets();
    void portMapDialogEditsTheMap();
    void lineSettingsShown_data();
    void lineSettingsShown();
    void fieldsShown();
    void okRefuses_data();
    void okRefuses();
    void rangeEdgesAccepted_data();
    void rangeEdgesAccepted();
    void modemBoxKeepsTexts();
    void writesBack();
    void cancelKeepsAccount();
    void configureEditsCopy();
    void configureWithoutPort();

    void portSettingsEdit_data();
    void portSettingsEdit();
    void portSettingsRefusesBaud_data();
    void portSettingsRefusesBaud();
    void portSettingsDefaults();

    void screenshots();
};

void TestConParamsDlg::portList_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("accountPort");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("by number, not by text") << kPorts << 2 << QStringList{u"COM1"_s, u"COM2"_s, u"COM10"_s} << u"COM2"_s;
    QTest::newRow("COM10 is not COM1") << kPorts << 10 << QStringList{u"COM1"_s, u"COM2"_s, u"COM10"_s} << u"COM10"_s;
    QTest::newRow("port the machine lacks") << kPorts << 7 << QStringList{u"COM1"_s, u"COM2"_s, u"COM10"_s} << QString();
    QTest::newRow("no port yet") << kPorts << 0 << QStringList{u"COM1"_s, u"COM2"_s, u"COM10"_s} << QString();
    QTest::newRow("equal numbers keep their order")
        << QStringList{u"COM3"_s, u"COM03"_s, u"COM1"_s} << 3 << QStringList{u"COM1"_s, u"COM3"_s, u"COM03"_s}
        << u"COM3"_s;
    QTest::newRow("no ports") << QStringList{} << 1 << QStringList{} << QString();
}

// Each COM number shows what it stands for; the account still takes the number.
void TestConParamsDlg::portListNamesTargets()
{
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFile(dir.filePath(u"lorn2.ini"_s),
                                   "[SerialComm]\nCOM7=tcp://10.0.0.5:4001\nCOM2=/dev/nonexistent-lorn2\n"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    CDevData account = sampleAccount();
    account.m_connection.port = 7;
    CConParamsDlg dialog(&account, {u"COM7"_s, u"COM2"_s, u"COM9"_s});
    QDir::setCurrent(previous);
    QCOMPARE(items(*dialog.portBox()), (QStringList{u"COM2 — /dev/nonexistent-lorn2"_s, u"COM7 — tcp://10.0.0.5:4001"_s,
                                                    u"COM9"_s}));
    QCOMPARE(dialog.portBox()->currentIndex(), 1);
    dialog.portBox()->setCurrentIndex(0);
    testsupport::MessageRecorder messages;
    dialog.accept();
    QCOMPARE(account.m_connection.port, 2);
    QVERIFY(messages->texts().isEmpty());
}

// The map's entries are added, changed and removed in the settings file; a bad address is
// refused with a message and nothing written.
void TestConParamsDlg::portMapDialogEditsTheMap()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lorn2.ini"_s);
    QVERIFY(testsupport::writeFile(ini, "[SerialComm]\nCOM1=/dev/ttyS0\n"));
    PortMapDlg dialog(ini);
    QCOMPARE(dialog.table()->rowCount(), 1);
    testsupport::MessageRecorder messages;

    dialog.numberBox()->setValue(7);
    dialog.kindBox()->setCurrentIndex(1);
    dialog.targetEdit()->setText(u"10.0.0.5"_s);
    dialog.tcpPortBox()->setValue(4001);
    QVERIFY(dialog.writeEntry());
    dialog.numberBox()->setValue(8);
    dialog.kindBox()->setCurrentIndex(2);
    dialog.targetEdit()->setText(u"[::1]"_s);
    dialog.tcpPortBox()->setValue(2217);
    QVERIFY(dialog.writeEntry());
    QCOMPARE(testsupport::iniSection(ini, u"SerialComm"_s),
             (QStringList{u"COM1=/dev/ttyS0"_s, u"COM7=tcp://10.0.0.5:4001"_s, u"COM8=rfc2217://[::1]:2217"_s}));

    // A host with a blank in it is no host.
    dialog.numberBox()->setValue(9);
    dialog.kindBox()->setCurrentIndex(1);
    dialog.targetEdit()->setText(u"bad host"_s);
    QVERIFY(!dialog.writeEntry());
    QCOMPARE(messages->texts(), QStringList{u"Неверное устройство или адрес: «bad host»."_s});

    // Choosing a row shows it; changed, it replaces the entry.
    dialog.table()->setCurrentCell(1, 0);
    QCOMPARE(dialog.numberBox()->value(), 7);
    QCOMPARE(dialog.targetEdit()->text(), u"10.0.0.5"_s);
    dialog.tcpPortBox()->setValue(4002);
    QVERIFY(dialog.writeEntry());
    QVERIFY(testsupport::iniSection(ini, u"SerialComm"_s).contains(u"COM7=tcp://10.0.0.5:4002"_s));

    dialog.table()->setCurrentCell(0, 0);
    messages->setNextAnswer(MbAnswer::Yes);
    QVERIFY(dialog.removeSelected());
    QCOMPARE(testsupport::iniSection(ini, u"SerialComm"_s),
             (QStringList{u"COM7=tcp://10.0.0.5:4002"_s, u"COM8=rfc2217://[::1]:2217"_s}));
}

void TestConParamsDlg::portList()
{
    QFETCH(QStringList, ports);
    QFETCH(int, accountPort);
    QFETCH(QStringList, listed);
    QFETCH(QString, selected);
    CDevData account = sampleAccount();
    account.m_connection.port = accountPort;
    CConParamsDlg dialog(&account, ports);
    QCOMPARE(items(*dialog.portBox()), listed);
    QCOMPARE(dialog.portBox()->currentText(), selected);
    QCOMPARE(dialog.portBox()->currentIndex() >= 0, !selected.isEmpty());
}

void TestConParamsDlg::lineSettingsShown_data()
{
    QTest::addColumn<DeviceControlBlock>("dcb");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("flow");
    const int enable = int(kRtsControlEnable);
    const int handshake = int(kRtsControlHandshake);
    QTest::newRow("8N1") << block(0, 0, false, false, false, 0) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("1.5 stop bits") << block(1, 0, false, false, false, 0) << u"1.5"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("2 stop bits") << block(2, 0, false, false, false, 0) << u"2"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("stop bits out of range") << block(3, 0, false, false, false, 0) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("odd") << block(0, 1, true, false, false, 0) << u"1"_s << u"Нечёт"_s << u"Нет"_s;
    QTest::newRow("even without check flag") << block(0, 2, false, false, false, 0) << u"1"_s << u"Чёт"_s << u"Нет"_s;
    QTest::newRow("mark") << block(0, 3, true, false, false, 0) << u"1"_s << u"Маркер"_s << u"Нет"_s;
    QTest::newRow("space") << block(0, 4, true, false, false, 0) << u"1"_s << u"Пробел"_s << u"Нет"_s;
    QTest::newRow("parity out of range") << block(0, 9, true, false, false, 0) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("check flag, no parity") << block(0, 0, true, false, false, 0) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("xon/xoff") << block(0, 0, false, true, false, enable) << u"1"_s << u"Нет"_s << u"XON/XOFF"_s;
    QTest::newRow("rts/cts") << block(0, 0, false, false, true, handshake) << u"1"_s << u"Нет"_s << u"RTS/CTS"_s;
    QTest::newRow("cts without handshake")
        << block(0, 0, false, false, true, enable) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("handshake without cts")
        << block(0, 0, false, false, false, handshake) << u"1"_s << u"Нет"_s << u"Нет"_s;
    QTest::newRow("both") << block(2, 2, true, true, true, handshake) << u"2"_s << u"Чёт"_s << u"XON/XOFF+RTS/CTS"_s;

    DeviceControlBlock outOnly = block(0, 0, false, false, false, 0);
    setDcbFlag(outOnly, DcbFlag::fOutX, 1);
    QTest::newRow("xon/xoff out only") << outOnly << u"1"_s << u"Нет"_s << u"Нет"_s;
}

void TestConParamsDlg::lineSettingsShown()
{
    QFETCH(DeviceControlBlock, dcb);
    QFETCH(QString, stopBits);
    QFETCH(QString, parity);
    QFETCH(QString, flow);
    CDevData account = sampleAccount();
    account.m_connection.dcb = dcb;
    CConParamsDlg dialog(&account, kPorts);
    QCOMPARE(dialog.baudLabel()->text(), u"19200"_s);
    QCOMPARE(dialog.dataBitsLabel()->text(), u"7"_s);
    QCOMPARE(dialog.stopBitsLabel()->text(), stopBits);
    QCOMPARE(dialog.parityLabel()->text(), parity);
    QCOMPARE(dialog.flowLabel()->text(), flow);
}

void TestConParamsDlg::fieldsShown()
{
    CDevData account = sampleAccount();
    CConParamsDlg dialog(&account, kPorts);
    QCOMPARE(dialog.windowTitle(), u"Параметры связи"_s);
    QCOMPARE(dialog.modelLabel()->text(), u"Карна-1"_s);
    QCOMPARE(dialog.serialLabel()->text(), u"4321"_s);
    QCOMPARE(dialog.timeoutEdit()->text(), u"2500"_s);
    QCOMPARE(dialog.retriesEdit()->text(), u"4"_s);
    QVERIFY(dialog.modemBox()->isChecked());
    QCOMPARE(dialog.modemPhoneEdit()->text(), u"8-495 доб. 12"_s);
    QCOMPARE(dialog.modemInitEdit()->text(), u"ATZ"_s);
    QVERIFY(dialog.modemPhoneEdit()->isEnabled());
    QVERIFY(dialog.modemInitEdit()->isEnabled());
    QVERIFY(dialog.perContourBox()->isChecked());

    account.m_useModem = false;
    CConParamsDlg direct(&account, kPorts);
    QVERIFY(!direct.modemPhoneEdit()->isEnabled());
    QVERIFY(!direct.modemInitEdit()->isEnabled());
    QCOMPARE(direct.modemPhoneEdit()->text(), u"8-495 доб. 12"_s);
}

void TestConParamsDlg::okRefuses_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("accountPort");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");
    const QString timeoutRange = u"Введите целое число от 0 до 86400000."_s;
    const QString retriesRange = u"Введите целое число от 1 до 65535."_s;
    const int warning = int(MbIcon::Warning);
    const int error = int(MbIcon::Error);
    QTest::newRow("retries 0") << kPorts << 1 << u"1000"_s << u"0"_s << retriesRange << warning;
    QTest::newRow("retries 65536") << kPorts << 1 << u"1000"_s << u"65536"_s << retriesRange << warning;
    QTest::newRow("retries empty") << kPorts << 1 << u"1000"_s << QString() << retriesRange << warning;
    QTest::newRow("timeout above a day") << kPorts << 1 << u"86400001"_s << u"3"_s << timeoutRange << warning;
    QTest::newRow("timeout empty") << kPorts << 1 << QString() << u"3"_s << timeoutRange << warning;
    QTest::newRow("timeout checked before the port") << kPorts << 7 << u"99999999999"_s << u"3"_s << timeoutRange
                                                     << warning;
    QTest::newRow("no port selected") << kPorts << 7 << u"1000"_s << u"3"_s << u"Не выбран COM-порт"_s << error;
    QTest::newRow("no ports at all") << QStringList{} << 1 << u"1000"_s << u"3"_s << u"Не выбран COM-порт"_s << error;
    QTest::newRow("empty entry") << QStringList{QString()} << 0 << u"1000"_s << u"3"_s
                                 << u"Не удалоcь считать номер COM-порта"_s << error;
    QTest::newRow("name without number") << QStringList{u"COMX"_s} << 0 << u"1000"_s << u"3"_s
                                         << u"Некорректное имя COM-порта"_s << error;
}

void TestConParamsDlg::okRefuses()
{
    QFETCH(QStringList, ports);
    QFETCH(int, accountPort);
    QFETCH(QString, timeout);
    QFETCH(QString, retries);
    QFETCH(QString, message);
    QFETCH(int, icon);
    testsupport::MessageRecorder recorder;
    CDevData account = sampleAccount();
    account.m_connection.port = accountPort;
    const QByteArray before = account.WriteXml();
    CConParamsDlg dialog(&account, ports);
    if (ports.size() == 1)
        dialog.portBox()->setCurrentIndex(0);
    dialog.timeoutEdit()->setText(timeout);
    dialog.retriesEdit()->setText(retries);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(recorder->texts(), QStringList{message});
    QCOMPARE(int(recorder->shown().front().icon), icon);
    QCOMPARE(account.WriteXml(), before);
}

void TestConParamsDlg::rangeEdgesAccepted_data()
{
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("retries");
    QTest::newRow("lowest") << u"0"_s << u"1"_s;
    QTest::newRow("highest") << u"86400000"_s << u"65535"_s;
}

void TestConParamsDlg::rangeEdgesAccepted()
{
    QFETCH(QString, timeout);
    QFETCH(QString, retries);
    testsupport::MessageRecorder recorder;
    CDevData account = sampleAccount();
    CConParamsDlg dialog(&account, kPorts);
    dialog.timeoutEdit()->setText(timeout);
    dialog.retriesEdit()->setText(retries);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(recorder->texts().isEmpty());
    QCOMPARE(account.m_answerTimeout, timeout.toInt());
    QCOMPARE(account.m_retries, retries.toInt());
}

void TestConParamsDlg::modemBoxKeepsTexts()
{
    CDevData account = sampleAccount();
    CConParamsDlg dialog(&account, kPorts);
    dialog.modemPhoneEdit()->setText(u"143"_s);
    QTest::mouseClick(dialog.modemBox(), Qt::LeftButton);
    QVERIFY(!dialog.modemBox()->isChecked());
    QVERIFY(!dialog.modemPhoneEdit()->isEnabled());
    QVERIFY(!dialog.modemInitEdit()->isEnabled());
    QCOMPARE(dialog.modemPhoneEdit()->text(), u"143"_s);
    QCOMPARE(dialog.modemInitEdit()->text(), u"ATZ"_s);
    dialog.accept();
    QVERIFY(!account.m_useModem);
    QVERIFY(!account.m_modem.useModem);
    // A later tick of the box finds the number again.
    QCOMPARE(account.m_modem.phone, QByteArrayLiteral("143"));
    QCOMPARE(account.m_modem.initString, QByteArrayLiteral("ATZ"));

    QTest::mouseClick(dialog.modemBox(), Qt::LeftButton);
    QVERIFY(dialog.modemPhoneEdit()->isEnabled());
    QVERIFY(dialog.modemInitEdit()->isEnabled());
}

void TestConParamsDlg::writesBack()
{
    testsupport::MessageRecorder recorder;
    CDevData account = sampleAccount();
    account.m_useModem = false;
    account.m_modem.useModem = false;
    CConParamsDlg dialog(&account, kPorts);
    dialog.portBox()->setCurrentText(u"COM10"_s);
    dialog.timeoutEdit()->setText(u"15000"_s);
    dialog.retriesEdit()->setText(u"7"_s);
    QTest::mouseClick(dialog.modemBox(), Qt::LeftButton);
    dialog.modemPhoneEdit()->setText(u"тон 2-34"_s);
    dialog.modemInitEdit()->setText(u"AT&F E0"_s);
    QTest::mouseClick(dialog.perContourBox(), Qt::LeftButton);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(recorder->texts().isEmpty());
    QCOMPARE(account.m_connection.port, 10);
    QCOMPARE(account.m_answerTimeout, 15000);
    QCOMPARE(account.m_retries, 7);
    QVERIFY(account.m_useModem);
    QVERIFY(account.m_modem.useModem);
    QCOMPARE(account.m_modem.phone, codepage::toAnsi(u"тон 2-34"_s));
    QCOMPARE(account.m_modem.phone.size(), 8); // one byte a letter in windows-1251
    QCOMPARE(account.m_modem.initString, QByteArrayLiteral("AT&F E0"));
    QVERIFY(!account.m_perContourRead);
    QCOMPARE(int(account.m_connection.dcb.XonLim), 77);
}

void TestConParamsDlg::cancelKeepsAccount()
{
    CDevData account = sampleAccount();
    const QByteArray before = account.WriteXml();
    CConParamsDlg dialog(&account, kPorts);
    dialog.portBox()->setCurrentText(u"COM1"_s);
    dialog.retriesEdit()->setText(u"9"_s);
    QTest::mouseClick(dialog.modemBox(), Qt::LeftButton);
    dialog.reject();
    QCOMPARE(account.WriteXml(), before);
}

void TestConParamsDlg::configureEditsCopy()
{
    CDevData account = sampleAccount();
    CConParamsDlg dialog(&account, kPorts);
    dialog.show();
    QString title;
    onNextModal<CPortSettingsDlg>(&dialog, [&title](CPortSettingsDlg& settings) {
        title = settings.windowTitle();
        settings.baudBox()->setCurrentText(u"2400"_s);
        settings.parityBox()->setCurrentIndex(2);
        settings.stopBitsBox()->setCurrentIndex(2);
        settings.flowBox()->setCurrentIndex(CPortSettingsDlg::FlowRtsCts);
        settings.accept();
    });
    QTest::mouseClick(dialog.configureButton(), Qt::LeftButton);
    QCOMPARE(title, u"Свойства: COM2"_s);
    QCOMPARE(dialog.baudLabel()->text(), u"2400"_s);
    QCOMPARE(dialog.parityLabel()->text(), u"Чёт"_s);
    QCOMPARE(dialog.stopBitsLabel()->text(), u"2"_s);
    QCOMPARE(dialog.flowLabel()->text(), u"RTS/CTS"_s);
    // Only OK of the connection dialog reaches the account.
    QCOMPARE(account.m_connection.dcb.BaudRate, 9600u);

    onNextModal<CPortSettingsDlg>(&dialog, [](CPortSettingsDlg& settings) {
        settings.baudBox()->setCurrentText(u"300"_s);
        settings.reject();
    });
    QTest::mouseClick(dialog.configureButton(), Qt::LeftButton);
    QCOMPARE(dialog.baudLabel()->text(), u"2400"_s);

    dialog.accept();
    QCOMPARE(account.m_connection.dcb, dialog.lineSettings());
    QCOMPARE(account.m_connection.dcb.BaudRate, 2400u);
    QCOMPARE(int(account.m_connection.dcb.XonLim), 77);
}

void TestConParamsDlg::configureWithoutPort()
{
    testsupport::MessageRecorder recorder;
    CDevData account = sampleAccount();
    account.m_connection.port = 5;
    CConParamsDlg dialog(&account, kPorts);
    dialog.show();
    bool opened = false;
    onNextModal<CPortSettingsDlg>(&dialog, [&opened](CPortSettingsDlg& settings) {
        opened = true;
        settings.reject();
    });
    QTest::mouseClick(dialog.configureButton(), Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(!opened);
    QCOMPARE(recorder->texts(), QStringList{u"Не выбран COM-порт"_s});
}

void TestConParamsDlg::portSettingsEdit_data()
{
    QTest::addColumn<DeviceControlBlock>("start");
    QTest::addColumn<int>("dataBitsIndex");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<bool>("parityFlag");
    QTest::addColumn<bool>("xonxoff");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<int>("rtsControl");
    const int handshake = int(kRtsControlHandshake);
    const int enable = int(kRtsControlEnable);
    const DeviceControlBlock plain = block(0, 0, false, false, false, 0);
    const DeviceControlBlock hardware = block(0, 0, false, false, true, handshake);
    QTest::newRow("odd 7 bits") << plain << 2 << 1 << 0 << int(CPortSettingsDlg::FlowNone) << true << false << false
                                << 0;
    QTest::newRow("xon/xoff") << plain << 3 << 0 << 1 << int(CPortSettingsDlg::FlowXonXoff) << false << true << false
                              << 0;
    QTest::newRow("rts/cts") << plain << 3 << 0 << 0 << int(CPortSettingsDlg::FlowRtsCts) << false << false << true
                             << handshake;
    QTest::newRow("both") << plain << 3 << 4 << 2 << int(CPortSettingsDlg::FlowBoth) << true << true << true
                          << handshake;
    // RTS held on again, as the port applies it anyway.
    QTest::newRow("rts/cts off") << hardware << 3 << 0 << 0 << int(CPortSettingsDlg::FlowNone) << false << false
                                 << false << enable;
    QTest::newRow("parity off clears the check") << block(0, 2, true, false, false, 0) << 3 << 0 << 0
                                                 << int(CPortSettingsDlg::FlowNone) << false << false << false << 0;
}

void TestConParamsDlg::portSettingsEdit()
{
    QFETCH(DeviceControlBlock, start);
    QFETCH(int, dataBitsIndex);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(bool, parityFlag);
    QFETCH(bool, xonxoff);
    QFETCH(bool, cts);
    QFETCH(int, rtsControl);
    start.XonChar = 0x11;
    start.EofChar = 0x1A;
    CPortSettingsDlg dialog(u"COM1"_s, start);
    QCOMPARE(dialog.baudBox()->currentText(), u"19200"_s);
    QCOMPARE(dialog.dataBitsBox()->currentText(), u"7"_s);
    QCOMPARE(dialog.flowBox()->currentIndex(), int(CPortSettingsDlg::flowOf(start)));
    dialog.baudBox()->setCurrentText(u"1200"_s);
    dialog.dataBitsBox()->setCurrentIndex(dataBitsIndex);
    dialog.parityBox()->setCurrentIndex(parity);
    dialog.stopBitsBox()->setCurrentIndex(stopBits);
    dialog.flowBox()->setCurrentIndex(flow);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const DeviceControlBlock& dcb = dialog.dcb();
    QCOMPARE(dcb.BaudRate, 1200u);
    QCOMPARE(int(dcb.ByteSize), 5 + dataBitsIndex);
    QCOMPARE(int(dcb.Parity), parity);
    QCOMPARE(int(dcb.StopBits), stopBits);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fParity) != 0, parityFlag);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fOutX) != 0, xonxoff);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fInX) != 0, xonxoff);
    QCOMPARE(dcbFlag(dcb, DcbFlag::fOutxCtsFlow) != 0, cts);
    QCOMPARE(int(dcbFlag(dcb, DcbFlag::fRtsControl)), rtsControl);
    QCOMPARE(int(CPortSettingsDlg::flowOf(dcb)), flow);
    // What the dialog does not offer stays.
    QCOMPARE(dcbFlag(dcb, DcbFlag::fBinary), 1u);
    QCOMPARE(int(dcb.XonChar), 0x11);
    QCOMPARE(int(dcb.EofChar), 0x1A);
}

void TestConParamsDlg::portSettingsRefusesBaud_data()
{
    QTest::addColumn<QString>("baud");
    QTest::newRow("empty") << QString();
    QTest::newRow("zero") << u"0"_s;
    QTest::newRow("below the slowest") << u"49"_s;
    QTest::newRow("above the fastest") << u"4000001"_s;
}

void TestConParamsDlg::portSettingsRefusesBaud()
{
    QFETCH(QString, baud);
    testsupport::MessageRecorder recorder;
    const DeviceControlBlock start = defaultDeviceControlBlock();
    CPortSettingsDlg dialog(u"COM1"_s, start);
    dialog.baudBox()->setCurrentText(baud);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(recorder->texts(), QStringList{u"Введите целое число от 50 до 4000000."_s});
    QCOMPARE(dialog.dcb(), start);
}

void TestConParamsDlg::portSettingsDefaults()
{
    DeviceControlBlock start = block(2, 3, true, true, true, int(kRtsControlHandshake));
    start.XonLim = 9;
    CPortSettingsDlg dialog(u"COM3"_s, start);
    QTest::mouseClick(dialog.defaultsButton(), Qt::LeftButton);
    QCOMPARE(dialog.dcb(), start); // nothing taken before OK
    dialog.accept();
    const DeviceControlBlock& dcb = dialog.dcb();
    QCOMPARE(dcb.BaudRate, 9600u);
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), 0);
    QCOMPARE(int(dcb.StopBits), 0);
    QCOMPARE(int(CPortSettingsDlg::flowOf(dcb)), int(CPortSettingsDlg::FlowNone));
    QCOMPARE(int(dcb.XonLim), 9);
}

void TestConParamsDlg::screenshots()
{
    CDevData account = sampleAccount();
    account.m_connection.dcb = block(0, 2, true, true, false, 0);
    account.m_connection.dcb.BaudRate = 9600;
    account.m_connection.dcb.ByteSize = 8;
    CConParamsDlg dialog(&account, kPorts);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.width() >= dialog.minimumSizeHint().width());
    uitest::keepScreenshot(dialog.grab().toImage(), u"connection-dialog.png"_s);

    CPortSettingsDlg settings(u"COM2"_s, account.m_connection.dcb);
    settings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings));
    QVERIFY(settings.width() >= settings.minimumSizeHint().width());
    uitest::keepScreenshot(settings.grab().toImage(), u"port-settings-dialog.png"_s);
}

int runConParamsDlgTests(int argc, char** argv)
{
    TestConParamsDlg tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestConParamsDlg.moc"
