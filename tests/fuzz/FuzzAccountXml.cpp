// Arbitrary bytes as an account file. Whatever is accepted must write back into a file that
// reads again to the same record.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QDir>

#include "storage/CDevData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString folder = QDir::tempPath() + QStringLiteral("/lorn2-fuzz-accountxml");
    CDevData account;
    account.m_folder = folder;
    if (account.ReadXml(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))) != S_OK)
        return 0;
    const QByteArray written = account.WriteXml();
    CDevData again;
    again.m_folder = folder;
    if (again.ReadXml(written) != S_OK || again.WriteXml() != written)
        std::abort();
    return 0;
}
