#include "ReportBatch.h"

#include <algorithm>
#include <memory>

#include <QDir>
#include <QFileInfo>

#include "CLorn2Doc.h"
#include "archive/ReportBuilder.h"
#include "archive/ReportFile.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/CDevData.h"

using namespace Qt::Literals::StringLiterals;

namespace reportbatch {

namespace {

// What the steps of one account showed, in order, as one text.
QString shownText(const RecordingMessageBox& box, const QString& fallback)
{
    const QStringList texts = box.texts();
    return texts.isEmpty() ? fallback : texts.join(u'\n');
}

// An archive read only for the run is let go after it, so a fleet's archives are never all in
// memory at once; one the program already held (an open archive view) stays.
class ArchiveLoan
{
public:
    explicit ArchiveLoan(CDevData& account)
        : m_account(account)
        , m_held(!account.m_records.isEmpty())
    {
    }
    ~ArchiveLoan()
    {
        if (!m_held)
            m_account.m_records.clear();
    }
    ArchiveLoan(const ArchiveLoan&) = delete;
    ArchiveLoan& operator=(const ArchiveLoan&) = delete;

private:
    CDevData& m_account;
    bool m_held;
};

Item runOne(CLorn2Doc& document, int index, const Request& request, const Options& options)
{
    CDevData& acc = document.accounts()[std::size_t(index)];
    Item item;
    item.account = index;
    item.name = acc.shortName();
    const auto skipped = [&item](const QString& why) {
        item.state = Item::State::Skipped;
        item.message = why;
        return item;
    };
    const auto failed = [&item](const QString& why) {
        item.state = Item::State::Failed;
        item.message = why;
        return item;
    };

    auto shown = std::make_shared<RecordingMessageBox>();
    ThreadMessageBoxBackend quiet(shown);
    ArchiveLoan loan(acc);

    // As "Создать отчёт из архива...": records already held count even when the file fails.
    if (FAILED(acc.LoadArchive()) && acc.m_records.isEmpty()) {
        if (QFileInfo::exists(acc.archiveFilePath()))
            return failed(shownText(*shown, LoadResString(119, u"Failed to load archive"_s)));
        return skipped(u"нет архивных данных"_s);
    }
    // A fleet mixes meters of one and of several contours; those without this one have nothing
    // to report rather than a fault.
    const int contours = std::max(1, int(acc.m_arcParams.NumSys));
    if (request.contour >= contours)
        return skipped(u"нет контура %1"_s.arg(request.contour + 1));

    shown->clear();
    const QDate last = request.kind == archive::ReportKind::Daily ? request.last : request.first;
    const archive::ReportResult result
        = document.makeReport(index, archive::makeReportRequest(request.kind, request.contour, request.first, last));
    switch (result.outcome) {
    case archive::ReportOutcome::NoData:
        return skipped(u"нет архивных данных"_s);
    case archive::ReportOutcome::EmptyInterval:
        return skipped(u"нет записей за период"_s);
    case archive::ReportOutcome::UnknownFormula:
        return failed(shownText(*shown, u"Тип системы не идентифицирован"_s));
    case archive::ReportOutcome::Built:
        break;
    }

    const QString path = QDir(request.folder).filePath(fileName(acc, request));
    if (!reportfile::save(path, result.state.text))
        return failed(LoadResString(177, u"Failed to save report into\n"_s) + path);
    item.path = path;
    if (options.pdf) {
        const QString pdfPath = QDir(request.folder).filePath(QFileInfo(path).completeBaseName() + u".pdf"_s);
        shown->clear();
        if (!options.pdf(acc, result.state.text, pdfPath))
            return failed(shownText(*shown, u"Не удалось сохранить файл PDF: "_s + pdfPath));
        item.pdfPath = pdfPath;
    }
    item.state = Item::State::Written;
    return item;
}

} // namespace

int Result::count(Item::State state) const
{
    return int(std::count_if(items.begin(), items.end(), [state](const Item& i) { return i.state == state; }));
}

QString fileName(const CDevData& account, const Request& request)
{
    const QDate last = request.kind == archive::ReportKind::Daily ? request.last : request.first;
    return account.shortName() + u'_' + request.first.toString(u"yyyy-MM-dd"_s) + u'_' + last.toString(u"yyyy-MM-dd"_s)
        + u".tsr"_s;
}

Result run(CLorn2Doc& document, const std::vector<int>& accounts, const Request& request, const Options& options)
{
    Result result;
    if (!QDir().mkpath(request.folder)) {
        result.error = u"Не удалось создать папку: "_s + request.folder;
        return result;
    }
    std::vector<int> live;
    for (const int index : accounts) {
        const CDevData* acc = document.account(index);
        if (acc != nullptr && !acc->m_deleted)
            live.push_back(index);
    }
    const int total = int(live.size());
    for (int done = 0; done < total; ++done) {
        const int index = live[std::size_t(done)];
        if (options.progress && !options.progress(done, total, document.accounts()[std::size_t(index)])) {
            result.stopped = true;
            break;
        }
        result.items.push_back(runOne(document, index, request, options));
        if (options.finished)
            options.finished(result.items.back());
    }
    return result;
}

} // namespace reportbatch
