// accounts::loadAll and accounts::addAccount, declared with the record in CDevData.h.
#include "CDevData.h"
#include "Folders.h"

namespace accounts {

HRESULT loadAll(const QString& workingFolder, std::vector<CDevData>& out)
{
    const QString devices = folders::devicesFolder(workingFolder);
    QStringList names;
    if (!folders::listFolders(devices, names))
        return E_FAIL;
    out.reserve(out.size() + std::size_t(names.size()));
    for (const QString& name : names) {
        CDevData account;
        account.m_folder = folders::join(devices, name);
        if (SUCCEEDED(account.Load(workingFolder)))
            out.push_back(std::move(account));
    }
    return S_OK;
}

HRESULT addAccount(std::vector<CDevData>& list, CDevData record, const QString& workingFolder,
                   const QString& archiveFile)
{
    if (record.m_serial < 1 || record.m_serial > CDevData::kMaxSerial)
        return E_INVALIDARG;
    for (const CDevData& other : list) {
        if (other.m_deleted || other.m_serial != record.m_serial)
            continue;
        if (record.m_type == 0 || other.m_type == record.m_type)
            return E_FAIL;
    }
    const QString folder = record.accountFolder(workingFolder);
    if (!folders::createPath(folder))
        return E_FAIL;

    if (!record.m_mapFile.isEmpty()) {
        const QString name = folders::fileNameOf(record.m_mapFile);
        const QString copy = folders::join(folder, name);
        const bool copied = !name.isEmpty() && folders::copyReplacing(record.m_mapFile, copy);
        record.m_mapFile = copied ? name : QString();
        record.m_mapLoaded = copied && record.m_map.LoadFile(copy);
        if (!copied)
            record.m_map.Reset();
        record.m_mapChanged = false;
    }

    record.m_folder = folder;
    const HRESULT hr = record.Save();
    if (FAILED(hr))
        return hr;

    if (!archiveFile.isEmpty()) {
        if (!folders::copyReplacing(archiveFile, folders::join(folder, record.archiveFileName())))
            return E_ABORT;
        record.Load(workingFolder);
    } else {
        // Reports of a new account skip the printer codes from the start, not only after a
        // restart; quietly, as adding an account has no business reporting a missing file.
        record.LoadPrinterTable(workingFolder, false);
    }
    list.push_back(std::move(record));
    return S_OK;
}

} // namespace accounts
