#include "ReportsAllDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "FileDialog.h"
#include "LogFontConversion.h"
#include "ReportPrinting.h"
#include "app/CLorn2Doc.h"
#include "base/MessageBox.h"
#include "storage/CDevData.h"
#include "storage/Folders.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A fleet's summary would not fit on the screen; the files themselves are in the folder.
constexpr int kListedPerGroup = 20;

void listItems(QStringList& lines, const std::vector<const reportbatch::Item*>& items, bool withMessage)
{
    int listed = 0;
    for (const reportbatch::Item* item : items) {
        if (listed == kListedPerGroup) {
            lines << u"    …и ещё %1"_s.arg(items.size() - std::size_t(listed));
            return;
        }
        QString text = withMessage ? item->name + u": "_s + item->message : QFileInfo(item->path).fileName();
        lines << u"    "_s + text.replace(u'\n', u' ').trimmed();
        ++listed;
    }
}

} // namespace

ReportsAllDlg::ReportsAllDlg(CLorn2Doc& document, std::vector<int> accounts, const QPageLayout& pageLayout,
                             QWidget* parent)
    : QDialog(parent)
    , m_document(document)
    , m_accounts(std::move(accounts))
    , m_pageLayout(pageLayout)
{
    setWindowTitle(u"Отчёты по всем ТС"_s);

    auto* kind = new QGroupBox(u"Тип отчёта"_s, this);
    m_hourly = new QRadioButton(u"Почасовой"_s, kind);
    m_daily = new QRadioButton(u"Посуточный"_s, kind);
    m_daily->setChecked(true);
    auto* kindLayout = new QVBoxLayout(kind);
    kindLayout->addWidget(m_hourly);
    kindLayout->addWidget(m_daily);

    auto* period = new QGroupBox(u"Интервал"_s, this);
    m_fromEdit = new QDateEdit(period);
    m_toEdit = new QDateEdit(period);
    for (QDateEdit* edit : { m_fromEdit, m_toEdit }) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(u"dd.MM.yyyy"_s);
    }
    auto* periodLayout = new QFormLayout(period);
    periodLayout->addRow(u"с:"_s, m_fromEdit);
    periodLayout->addRow(u"по:"_s, m_toEdit);
    connect(m_daily, &QRadioButton::toggled, this, &ReportsAllDlg::kindChanged);
    kindChanged();

    auto* choices = new QHBoxLayout;
    choices->addWidget(kind);
    choices->addWidget(period);

    auto* form = new QFormLayout;
    m_contour = new QComboBox(this);
    for (int c = 1; c <= 3; ++c)
        m_contour->addItem(QString::number(c));
    form->addRow(u"Номер контура:"_s, m_contour);
    m_folder = new QLineEdit(folders::reportsFolder(m_document.workingFolder()), this);
    m_folder->setMinimumWidth(m_folder->fontMetrics().averageCharWidth() * 40);
    m_browse = new QPushButton(u"..."_s, this);
    m_browse->setFixedWidth(m_browse->fontMetrics().horizontalAdvance(u"...."_s) + 16);
    connect(m_browse, &QPushButton::clicked, this, &ReportsAllDlg::browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    form->addRow(u"Папка:"_s, folderRow);
    m_pdf = new QCheckBox(u"Также сохранить в PDF"_s, this);
    form->addRow(QString(), m_pdf);
    form->addRow(QString(), new QLabel(u"Учётных записей: %1"_s.arg(m_accounts.size()), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReportsAllDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReportsAllDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QDate ReportsAllDlg::defaultHourlyDay(const QDate& today)
{
    return today.addDays(-1);
}

std::pair<QDate, QDate> ReportsAllDlg::defaultDailyPeriod(const QDate& today)
{
    const QDate first = QDate(today.year(), today.month(), 1).addMonths(-1);
    return { first, first.addDays(first.daysInMonth() - 1) };
}

void ReportsAllDlg::kindChanged()
{
    const QDate today = QDate::currentDate();
    if (m_daily->isChecked()) {
        const auto [first, last] = defaultDailyPeriod(today);
        m_fromEdit->setDate(first);
        m_toEdit->setDate(last);
    } else {
        m_fromEdit->setDate(defaultHourlyDay(today));
        m_toEdit->setDate(m_fromEdit->date());
    }
    m_toEdit->setEnabled(m_daily->isChecked());
}

void ReportsAllDlg::browse()
{
    FileDialogSpec request;
    request.title = u"Папка для отчётов"_s;
    request.folder = m_folder->text();
    const QString chosen = FileDialog::getExistingDirectory(this, request);
    if (!chosen.isEmpty())
        m_folder->setText(chosen);
}

bool ReportsAllDlg::writePdf(const CDevData& account, const QByteArray& report, const QString& path) const
{
    ui::ReportPrintJob job;
    job.text = report;
    job.controls = &account.m_escTable;
    job.tabSize = m_document.m_tabSize;
    job.printFont = ui::fontFromLogFont(m_document.m_printFont);
    QSaveFile file(path);
    bool drawn = false;
    if (file.open(QIODevice::WriteOnly)) {
        QPdfWriter writer(&file);
        writer.setPageLayout(m_pageLayout);
        writer.setResolution(600);
        writer.setCreator(u"Lorn2"_s);
        drawn = ui::printReportTo(writer, job) > 0;
    }
    if (!drawn || !file.commit()) {
        MessageBox::error(u"Не удалось сохранить файл PDF: "_s + path);
        return false;
    }
    return true;
}

void ReportsAllDlg::accept()
{
    reportbatch::Request request;
    request.kind = m_daily->isChecked() ? archive::ReportKind::Daily : archive::ReportKind::Hourly;
    request.contour = m_contour->currentIndex();
    request.first = m_fromEdit->date();
    request.last = m_daily->isChecked() ? m_toEdit->date() : request.first;
    request.folder = m_folder->text().trimmed();
    if (request.folder.isEmpty()) {
        MessageBox::error(u"Не указана папка для отчётов."_s);
        m_folder->setFocus();
        return;
    }
    if (request.last < request.first) {
        MessageBox::error(u"Конец интервала раньше его начала."_s);
        m_toEdit->setFocus();
        return;
    }

    QProgressDialog progress(u"Создание отчётов..."_s, u"Отмена"_s, 0, int(m_accounts.size()), this);
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    reportbatch::Options options;
    options.progress = [&progress](int done, int total, const CDevData& account) {
        progress.setLabelText(u"%1 (%2 из %3)"_s.arg(account.shortName()).arg(done + 1).arg(total));
        progress.setValue(done);
        return !progress.wasCanceled();
    };
    if (m_pdf->isChecked()) {
        options.pdf = [this](const CDevData& account, const QByteArray& report, const QString& path) {
            return writePdf(account, report, path);
        };
    }
    m_result = reportbatch::run(m_document, m_accounts, request, options);
    progress.setValue(progress.maximum());
    if (!m_result.error.isEmpty()) {
        MessageBox::error(m_result.error);
        m_folder->setFocus();
        return;
    }
    showSummary(request.folder);
    QDialog::accept();
}

void ReportsAllDlg::showSummary(const QString& folder) const
{
    using State = reportbatch::Item::State;
    std::vector<const reportbatch::Item*> written, skipped, failed;
    for (const reportbatch::Item& item : m_result.items) {
        if (item.state == State::Written)
            written.push_back(&item);
        else
            (item.state == State::Skipped ? skipped : failed).push_back(&item);
    }

    QStringList lines;
    lines << u"Записано отчётов: %1, в папку %2"_s.arg(written.size()).arg(QDir::toNativeSeparators(folder));
    listItems(lines, written, false);
    if (!skipped.empty()) {
        lines << u"Пропущено ТС: %1"_s.arg(skipped.size());
        listItems(lines, skipped, true);
    }
    if (!failed.empty()) {
        lines << u"Ошибки: %1"_s.arg(failed.size());
        listItems(lines, failed, true);
    }
    if (m_result.stopped)
        lines << u"Прервано: обработано ТС %1 из %2."_s.arg(m_result.items.size()).arg(m_accounts.size());
    MessageBox::show(lines.join(u'\n'), failed.empty() ? MbIcon::Information : MbIcon::Warning);
}
