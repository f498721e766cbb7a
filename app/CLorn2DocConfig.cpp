// The document's configuration commands, menu "Конфигурация ТС".
#include <QDate>

#include "CLorn2Doc.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "cfgmap/CfgReport.h"
#include "storage/ArchiveDatabase.h"

using namespace Qt::Literals::StringLiterals;

bool CLorn2Doc::buildConfigReport(int accountIndex, const QByteArray* snapshot)
{
    CDevData* acc = account(accountIndex);
    if (acc == nullptr)
        return false;
    cfgmap::ReportSubject subject;
    subject.typeName = acc->typeName();
    subject.serial = acc->m_serial;
    subject.current = acc->m_config;
    subject.tabSize = m_tabSize;
    cfgmap::TextMeasure measure{acc->m_cfgReportLines, acc->m_cfgReportWidth};
    const bool made
        = cfgmap::BuildConfigurationReport(acc->m_map, subject, snapshot, m_errorLog, acc->m_cfgReport, measure);
    acc->m_cfgReportLines = measure.lines;
    acc->m_cfgReportWidth = measure.width;
    return made;
}

bool CLorn2Doc::readConfigSnapshots(int accountIndex, std::vector<CfgArcRecord>& snapshots)
{
    snapshots.clear();
    const CDevData* acc = account(accountIndex);
    if (acc == nullptr || m_database == nullptr)
        return false;
    std::vector<QString> skipped;
    const HRESULT hr = m_database->readCfgArchive(acc->m_type, acc->m_serial, snapshots, &skipped);
    if (!skipped.empty()) {
        QStringList rows;
        for (const QString& s : skipped)
            rows << (s.isEmpty() ? u"?"_s : s);
        MessageBox::show(u"Пропущены повреждённые записи архива конфигураций в БД: %1"_s.arg(rows.join(u", "_s)),
                        MbIcon::Warning);
    }
    return SUCCEEDED(hr);
}

bool CLorn2Doc::OnShowConfig()
{
    const std::optional<int> index = targetAccount(false);
    if (!index)
        return false;
    const bool made = buildConfigReport(*index);
    // The view comes up either way; after a failure it shows an empty text.
    if (m_shell != nullptr)
        m_shell->switchView(ViewKind::ConfigReport, *index);
    return made;
}

bool CLorn2Doc::OnSaveConfig()
{
    const std::optional<int> index = targetAccount(false);
    if (!index || m_shell == nullptr)
        return false;
    CDevData& acc = m_accounts[std::size_t(*index)];
    if (acc.m_config.isEmpty()) {
        MessageBox::error(LoadResString(180));
        return false;
    }
    if (acc.m_mapFile.isEmpty()) {
        MessageBox::error(u"MAP-file is not set."_s);
        return false;
    }
    FileDialogSpec dialog;
    dialog.filter = LoadResString(200);
    dialog.defaultExtension = u"cfg"_s;
    dialog.defaultName = acc.shortName() + u".cfg"_s;
    const QString path = m_shell->getSaveFileName(dialog);
    if (path.isEmpty())
        return false;
    m_errorLog.clear();
    if (!cfgmap::decodeWithMessages(acc.m_map, acc.m_config, m_errorLog))
        return false;
    return cfgmap::writeConfigurationFile(path, acc.m_map.root(), QDate::currentDate());
}

bool CLorn2Doc::OnPrintConfig(bool preview)
{
    if (m_shell == nullptr || m_shell->activeView() != ViewKind::ConfigReport || !m_shell->printConfigReport(preview)) {
        MessageBox::error(LoadResString(159));
        return false;
    }
    return true;
}
