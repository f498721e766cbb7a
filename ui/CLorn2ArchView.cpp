#include "CLorn2ArchView.h"

#include <algorithm>

#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "app/ArchiveListColumns.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "base/DateUtil.h"
#include "base/Format.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPickerFormat = u"dd.MM.yyyy HH:mm"_s;

QString typeDisplayName(const CDevData& account)
{
    const QString name = account.typeName();
    return name.isEmpty() ? u"?"_s : name;
}

} // namespace

ArchiveListModel::ArchiveListModel(AccountSource account, QObject* parent)
    : QAbstractTableModel(parent)
    , m_account(std::move(account))
    , m_captions(archivelist::captions(0))
{
}

void ArchiveListModel::fill(const QDateTime& from, const QDateTime& to)
{
    beginResetModel();
    m_rows.clear();
    const CDevData* account = m_account();
    m_captions = archivelist::captions(account != nullptr ? account->m_arcParams.EnergyUnits : 0);
    if (account != nullptr) {
        const ArchiveRecordList& records = account->m_records;
        m_rows.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const QDateTime t = archive::recordDateTime(records[i]);
            if (!t.isValid() || (from.isValid() && t < from) || (to.isValid() && t > to))
                continue;
            m_rows.push_back(i);
        }
    }
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, archivelist::kColumnCount - 1);
}

int ArchiveListModel::rowOf(std::size_t recordIndex) const
{
    // Rows are kept in list order.
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), recordIndex);
    return it != m_rows.end() && *it == recordIndex ? int(it - m_rows.begin()) : -1;
}

int ArchiveListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ArchiveListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : archivelist::kColumnCount;
}

QVariant ArchiveListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    const CDevData* account = m_account();
    const std::size_t record = m_rows[std::size_t(index.row())];
    // The records may have been replaced since the fill; a stale row shows nothing.
    if (account == nullptr || record >= account->m_records.size())
        return {};
    return archivelist::cell(account->m_arcParams, account->m_records[record], index.column());
}

QVariant ArchiveListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::DisplayRole)
        return m_captions.value(section);
    return {};
}

CLorn2ArchView::CLorn2ArchView(CLorn2Doc& document, int accountIndex, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_accountIndex(accountIndex)
{
    m_serial = new QLabel(this);
    m_type = new QLabel(this);
    auto* identity = new QGridLayout;
    identity->addWidget(new QLabel(u"Серийный номер:"_s, this), 0, 0);
    identity->addWidget(m_serial, 0, 1);
    identity->addWidget(new QLabel(u"Модель ТС:"_s, this), 1, 0);
    identity->addWidget(m_type, 1, 1);

    auto* range = new QGroupBox(u"Диапазон дат для отображения"_s, this);
    m_fromEdit = new QDateTimeEdit(range);
    m_toEdit = new QDateTimeEdit(range);
    for (QDateTimeEdit* edit : {m_fromEdit, m_toEdit}) {
        edit->setDisplayFormat(kPickerFormat);
        edit->setCalendarPopup(true);
        // Record stamps are calendar values of the meter's clock, not local instants.
        edit->setTimeSpec(Qt::UTC);
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, &CLorn2ArchView::onPickerChanged);
    }
    m_apply = new QPushButton(u"Применить"_s, range);
    m_apply->setEnabled(false);
    connect(m_apply, &QPushButton::clicked, this, &CLorn2ArchView::onApply);
    auto* rangeLayout = new QHBoxLayout(range);
    rangeLayout->addWidget(new QLabel(u"с: "_s, range));
    rangeLayout->addWidget(m_fromEdit);
    rangeLayout->addSpacing(8);
    rangeLayout->addWidget(new QLabel(u"по: "_s, range));
    rangeLayout->addWidget(m_toEdit);
    rangeLayout->addSpacing(8);
    rangeLayout->addWidget(m_apply);

    auto* top = new QHBoxLayout;
    top->addLayout(identity);
    top->addSpacing(16);
    top->addWidget(range);
    top->addStretch(1);

    auto* buttons = new QHBoxLayout;
    const struct
    {
        int command;
        QString caption;
    } commands[] = {
        {cmd::ReadArchive, u"Загрузить из ТС..."_s},
        {cmd::CreateReport, u"Создать отчёт из архива..."_s},
        {cmd::ImportArchive, u"Импорт из файла..."_s},
        {cmd::ExportArchive, u"Экспорт в файл..."_s},
        {cmd::ShowChart, u"График"_s},
        {cmd::QualityCheck, u"Проверка данных..."_s},
    };
    for (const auto& c : commands) {
        auto* button = new QPushButton(c.caption, this);
        const int command = c.command;
        connect(button, &QPushButton::clicked, this, [this, command] { emit commandRequested(command); });
        m_commandButtons.insert(command, button);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    m_back = new QPushButton(u"К списку ТС"_s, this);
    connect(m_back, &QPushButton::clicked, this, &CLorn2ArchView::backToDeviceList);
    buttons->addWidget(m_back);

    m_model = new ArchiveListModel([this] { return account(); }, this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);
    m_table->setWordWrap(false);
    m_table->setSortingEnabled(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights keep a hundred thousand rows as cheap as a hundred.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->horizontalHeader()->setSectionsClickable(false);
    m_table->horizontalHeader()->setStretchLastSection(false);
    fitColumns();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);
}

const CDevData* CLorn2ArchView::account() const
{
    if (!m_document.isValidAccount(m_accountIndex))
        return nullptr;
    return &m_document.accounts()[std::size_t(m_accountIndex)];
}

void CLorn2ArchView::initialUpdate()
{
    CDevData* acc = m_document.account(m_accountIndex);
    if (acc == nullptr) {
        m_serial->clear();
        m_type->clear();
        fill();
        return;
    }
    m_serial->setText(fmt::text(u"%05u", unsigned(acc->m_serial)));
    m_type->setText(typeDisplayName(*acc));

    {
        WaitCursor wait(m_document.shell());
        if (FAILED(acc->LoadArchive()))
            MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
    }

    // The pickers start on the archive's whole span, or on today without records. They take any
    // date typed: a range on the pickers would refuse a day digit by digit.
    const RecordTimeSpan& span = acc->m_records.timeSpan();
    if (span.isComplete()) {
        m_from = span.earliest();
        m_to = span.latest();
    } else {
        const QDate today = QDate::currentDate();
        m_from = dateutil::calendarDateTime(today, QTime(0, 0));
        m_to = dateutil::calendarDateTime(today, QTime(23, 59));
    }
    {
        const QSignalBlocker blockFrom(m_fromEdit);
        const QSignalBlocker blockTo(m_toEdit);
        m_fromEdit->setDateTime(m_from);
        m_toEdit->setDateTime(m_to);
    }
    m_apply->setEnabled(false);

    {
        WaitCursor wait(m_document.shell());
        fill();
    }
    if (Shell* shell = m_document.shell()) {
        shell->setTitle(fmt::text(LoadResString(174, u"Archive. Heatcounter: %s Serial #: %05u"_s),
                                  typeDisplayName(*acc), unsigned(acc->m_serial)));
    }
}

void CLorn2ArchView::repaintView()
{
    m_table->viewport()->update();
    update();
}

void CLorn2ArchView::updateCommandButtons(const std::function<bool(int)>& isEnabled)
{
    for (auto it = m_commandButtons.cbegin(); it != m_commandButtons.cend(); ++it)
        it.value()->setEnabled(isEnabled(it.key()));
}

void CLorn2ArchView::fill()
{
    m_model->fill(m_from, m_to);
    fitColumns();
}

// Whole readings, never "45212.0000…": each column as wide as its widest text among the shown
// rows. A long archive is sampled (its ends and evenly between), so filling stays quick.
void CLorn2ArchView::fitColumns()
{
    constexpr int kSamples = 400;
    const QFontMetrics metrics = m_table->fontMetrics();
    const int padding = 2 * m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 12;
    const int rows = m_model->rowCount();
    std::vector<int> sample;
    if (rows > 0) {
        const int step = std::max(1, rows / kSamples);
        for (int r = 0; r < rows; r += step)
            sample.push_back(r);
        sample.push_back(rows - 1);
    }
    for (int c = 0; c < archivelist::kColumnCount; ++c) {
        int width = std::max(archivelist::columnWidth(c),
                             metrics.horizontalAdvance(m_model->headerData(c, Qt::Horizontal).toString()) + padding);
        for (const int r : sample)
            width = std::max(width, metrics.horizontalAdvance(m_model->index(r, c).data().toString()) + padding);
        m_table->setColumnWidth(c, width);
    }
}

bool CLorn2ArchView::selectRecord(const sctArcZap& identity)
{
    const CDevData* acc = account();
    if (acc == nullptr)
        return false;
    const std::ptrdiff_t index = acc->m_records.indexOf(identity);
    if (index < 0)
        return false;
    if (m_model->rowOf(std::size_t(index)) < 0) {
        const QDateTime t = archive::recordDateTime(identity);
        if (!t.isValid())
            return false;
        const QSignalBlocker blockFrom(m_fromEdit);
        const QSignalBlocker blockTo(m_toEdit);
        if (t < m_from)
            m_fromEdit->setDateTime(dateutil::calendarDateTime(t.date(), QTime(0, 0)));
        if (t > m_to)
            m_toEdit->setDateTime(dateutil::calendarDateTime(t.date(), QTime(23, 59)));
        onApply();
    }
    const int row = m_model->rowOf(std::size_t(index));
    if (row < 0)
        return false;
    m_table->selectRow(row);
    m_table->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtCenter);
    m_table->setFocus(Qt::OtherFocusReason);
    return true;
}

void CLorn2ArchView::onPickerChanged()
{
    m_apply->setEnabled(m_fromEdit->dateTime() != m_from || m_toEdit->dateTime() != m_to);
}

void CLorn2ArchView::onApply()
{
    if (m_fromEdit->dateTime() > m_toEdit->dateTime()) {
        MessageBox::error(u"Начало диапазона дат позже его конца."_s);
        m_fromEdit->setFocus();
        return;
    }
    m_from = m_fromEdit->dateTime();
    m_to = m_toEdit->dateTime();
    m_apply->setEnabled(false);
    WaitCursor wait(m_document.shell());
    fill();
}
