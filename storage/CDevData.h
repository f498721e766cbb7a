#pragma once

#include <array>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "archive/ArchiveRecord.h"
#include "archive/ArchiveRecordList.h"
#include "archive/PrinterControlTable.h"
#include "archive/ReportBuilder.h"
#include "base/ConnectionBlock.h"
#include "base/ResultCodes.h"
#include "base/TextBlock.h"
#include "cfgmap/CfgMgr.h"

// Dial-up settings; the texts are 8-bit, in the system code page, as the modem gets them.
struct ModemSettings
{
    bool useModem = false; // a copy of the account's use-modem flag
    QByteArray phone = QByteArrayLiteral("143");
    QByteArray initString = QByteArrayLiteral("AT&F &D0 &S0 \\Q0 E0 Q0 S0=0 +IPR=9600 &W0");
};

// One device account: who the consumer is, which meter, how to reach it, and what was read.
class CDevData
{
public:
    static constexpr int kMaxSerial = 65534;

    // Identity
    int m_serial = 0;
    int m_type = 0; // 1-based index into the device-type list; 0 = none
    int m_netAddress = 0;
    QDateTime m_lastConnect; // invalid: never connected

    QString m_consumer;
    QString m_phone;
    QString m_consumerId;
    QString m_address;
    QString m_contact;

    QString m_folder; // the account folder, without a trailing separator

    ModemSettings m_modem;

    // The archive loaded for this account
    ArchiveParams m_arcParams;
    ArchiveRecordList m_records;

    int m_modified = 0;
    int m_answerTimeout = 1000; // ms
    int m_retries = 3;
    bool m_useModem = false;
    bool m_perContourRead = false;

    TextBlock m_reportText;
    // How the report was built: kind, contour, period, rows and columns. Its text lives in
    // m_reportText; a loaded or received report leaves start invalid.
    archive::ReportState m_report;
    PrinterControlTable m_escTable;

    ConnectionBlock m_connection{-1, 0, 0, DeviceControlBlock{}};

    QByteArray m_config; // the configuration memory as last read

    // The map file: a base name, the file lying in the account folder; a full path only while
    // an account dialog has chosen a file that Add account is yet to copy in.
    QString m_mapFile;
    // The parsed map, with its error log; decoding leaves the last decoded values in it.
    CfgMgr m_map;
    bool m_mapLoaded = false;
    bool m_mapChanged = false;

    // The configuration report, IBM866, with its line count and widest line in cells.
    TextBlock m_cfgReport;
    int m_cfgReportLines = 0;
    int m_cfgReportWidth = 0;

    std::array<bool, 3> m_printVolumes{};
    bool m_useAccountForHeader = false;

    // Kept in the list after deletion so row item data stay valid, but no longer an account.
    bool m_deleted = false;

    QString typeName() const;     // display name, empty outside the list
    QString typeCodeName() const; // code name, empty outside the list
    // "Karna1_01234"
    QString shortName() const;
    // WorkingFolder/Devices/Karna1_01234
    QString accountFolder(const QString& workingFolder) const;
    // "01234.xml" and "01234.tsa"
    QString accountFileName() const;
    QString archiveFileName() const;

    // The map file in the account folder; empty without a map or a folder.
    QString mapPath() const;

    // Writes the account file into m_folder (atomically); clears m_modified on success.
    HRESULT Save();
    // Reads the account from m_folder, then its printer control table: the folder's own
    // "esc.ini", else the working folder's.
    HRESULT Load(const QString& workingFolder);
    // The folder's own "esc.ini" without messages; failing that, the working folder's, whose
    // file errors are shown when showErrors is set.
    void LoadPrinterTable(const QString& workingFolder, bool showErrors = true);

    // The account's own archive file, m_folder/01234.tsa.
    QString archiveFilePath() const;
    // Adds the records of the account's own archive file, with its parameter block and the
    // serial number checked against the account. The reader shows its own messages.
    HRESULT LoadArchive(QString* message = nullptr);
    // Writes the account's archive file under the account's serial number, atomically.
    bool WriteArchive(QString* error = nullptr) const;
    // Stores the date and writes it into the account file in place.
    HRESULT UpdateLastConnectDate(const QDateTime& when);

    // Parses account XML already in memory into this record (the folder must be set for the map
    // path); the file reader and the fuzz target share it.
    HRESULT ReadXml(const QByteArray& xml);
    QByteArray WriteXml() const;
};

namespace accounts {

// Loads every account folder under WorkingFolder/Devices in name order; folders that do not
// hold a readable account are skipped.
HRESULT loadAll(const QString& workingFolder, std::vector<CDevData>& out);

// Creates the account: checks the serial number and duplicates (deleted accounts do not count),
// makes its folder, copies the map file and the archive file to import, saves it and appends it
// to `list`. Returns 0, E_INVALIDARG, E_FAIL, E_ABORT (archive copy failed) or the save code.
HRESULT addAccount(std::vector<CDevData>& list, CDevData record, const QString& workingFolder,
                   const QString& archiveFile = QString());

} // namespace accounts
