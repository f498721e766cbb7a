#include <memory>

#include <QCoreApplication>
#include <QTest>

QObject* makeTestSerialPort();
QObject* makeTestExchange();
QObject* makeTestNetworkLine();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int status = 0;
    for (auto make : {makeTestSerialPort, makeTestExchange, makeTestNetworkLine}) {
        std::unique_ptr<QObject> test(make());
        status |= QTest::qExec(test.get(), argc, argv);
    }
    return status;
}
