#include <random>

#include <QTest>

#include "base/Crc16.h"

namespace {

// Bit by bit, as the algorithms are defined: the tables must agree with these on any input.
std::uint16_t modbusBitwise(const QByteArray& b)
{
    std::uint16_t crc = 0xFFFF;
    for (char ch : b) {
        crc ^= std::uint8_t(ch);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) != 0 ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

std::uint16_t xmodemBitwise(const QByteArray& b)
{
    std::uint16_t crc = 0;
    for (char ch : b) {
        crc ^= std::uint16_t(std::uint8_t(ch) << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) != 0 ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

} // namespace

class TestCrc : public QObject
{
    Q_OBJECT

private slots:
    void knownValues_data();
    void knownValues();
    void agreesWithBitwise();
    void piecesGiveTheWhole();
    void modbusBlockWithItsCrcSumsToZero();
};

void TestCrc::knownValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("isModbus");
    QTest::addColumn<int>("expected");
    QTest::newRow("modbus check") << QByteArray("123456789") << true << 0x4B37;
    QTest::newRow("xmodem check") << QByteArray("123456789") << false << 0x31C3;
    QTest::newRow("modbus empty is the initial value") << QByteArray() << true << 0xFFFF;
    QTest::newRow("xmodem empty is the initial value") << QByteArray() << false << 0x0000;
    // Read holding registers 0..9 of slave 1: the frame ends in C5 CD on the wire.
    QTest::newRow("modbus request frame") << QByteArray::fromHex("01030000000A") << true << 0xCDC5;
}

void TestCrc::knownValues()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, isModbus);
    QFETCH(int, expected);
    QCOMPARE(int(isModbus ? crc::modbus(data) : crc::xmodem(data)), expected);
}

void TestCrc::agreesWithBitwise()
{
    std::mt19937 rng(7);
    for (int n : {1, 2, 15, 256, 1024, 4099}) {
        QByteArray b(n, Qt::Uninitialized);
        for (char& c : b)
            c = char(rng());
        QCOMPARE(crc::modbus(b), modbusBitwise(b));
        QCOMPARE(crc::xmodem(b), xmodemBitwise(b));
    }
}

void TestCrc::piecesGiveTheWhole()
{
    const QByteArray b = "The meter's archive block, summed in two calls";
    for (qsizetype cut : {qsizetype(0), qsizetype(1), b.size() / 2, b.size()}) {
        const std::size_t n = std::size_t(cut);
        const std::size_t rest = std::size_t(b.size()) - n;
        QCOMPARE(crc::modbus(b.constData() + n, rest, crc::modbus(b.constData(), n)), crc::modbus(b));
        QCOMPARE(crc::xmodem(b.constData() + n, rest, crc::xmodem(b.constData(), n)), crc::xmodem(b));
    }
}

void TestCrc::modbusBlockWithItsCrcSumsToZero()
{
    QByteArray b = "configuration bytes";
    const std::uint16_t c = crc::modbus(b);
    b.append(char(c & 0xFF)).append(char(c >> 8));
    QCOMPARE(crc::modbus(b), std::uint16_t(0));
}

QTEST_GUILESS_MAIN(TestCrc)
#include "TestCrc.moc"
