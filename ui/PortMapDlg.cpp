#include "PortMapDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/MessageBox.h"
#include "link/ComPortMap.h"
#include "link/LineTarget.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList kKinds{u"Последовательный порт"_s, u"TCP"_s, u"RFC 2217"_s};

} // namespace

PortMapDlg::PortMapDlg(const QString& settingsPath, QWidget* parent)
    : QDialog(parent)
    , m_path(settingsPath)
{
    setWindowTitle(u"COM-порты"_s);
    m_table = new QTableWidget(0, 3, this);
    m_table->setHorizontalHeaderLabels({u"Порт"_s, u"Тип"_s, u"Устройство или адрес"_s});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) { showRow(row); });

    m_number = new QSpinBox(this);
    m_number->setRange(1, comm::ComPortMap::kMaxPort);
    m_number->setPrefix(u"COM"_s);
    m_kind = new QComboBox(this);
    m_kind->addItems(kKinds);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &PortMapDlg::kindChanged);
    m_target = new QLineEdit(this);
    m_tcpPort = new QSpinBox(this);
    m_tcpPort->setRange(1, 65535);
    m_tcpPort->setValue(4001);
    auto* form = new QFormLayout;
    form->addRow(u"Номер:"_s, m_number);
    form->addRow(u"Тип:"_s, m_kind);
    form->addRow(u"Устройство или узел:"_s, m_target);
    form->addRow(u"Порт TCP:"_s, m_tcpPort);

    m_write = new QPushButton(u"Записать"_s, this);
    m_remove = new QPushButton(u"Удалить"_s, this);
    for (QPushButton* b : {m_write, m_remove})
        b->setAutoDefault(false);
    connect(m_write, &QPushButton::clicked, this, &PortMapDlg::writeEntry);
    connect(m_remove, &QPushButton::clicked, this, &PortMapDlg::removeSelected);
    auto* edit = new QHBoxLayout;
    edit->addWidget(m_write);
    edit->addWidget(m_remove);
    edit->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(u"Закрыть"_s);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(form);
    layout->addLayout(edit);
    layout->addWidget(buttons);
    resize(560, 420);
    reload();
    kindChanged();
}

void PortMapDlg::reload()
{
    m_table->setRowCount(0);
    for (const auto& [number, text] : comm::ComPortMap(m_path).entries()) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const std::optional<comm::LineTarget> target = comm::parseLineTarget(text);
        auto* name = new QTableWidgetItem(u"COM%1"_s.arg(number));
        name->setData(Qt::UserRole, number);
        m_table->setItem(row, 0, name);
        m_table->setItem(row, 1, new QTableWidgetItem(target ? kKinds[int(target->kind)] : QString()));
        m_table->setItem(row, 2, new QTableWidgetItem(text));
    }
    m_table->resizeColumnsToContents();
    m_remove->setEnabled(m_table->rowCount() > 0);
}

void PortMapDlg::showRow(int row)
{
    if (row < 0 || row >= m_table->rowCount())
        return;
    m_number->setValue(m_table->item(row, 0)->data(Qt::UserRole).toInt());
    const std::optional<comm::LineTarget> target = comm::parseLineTarget(m_table->item(row, 2)->text());
    if (!target)
        return;
    m_kind->setCurrentIndex(int(target->kind));
    m_target->setText(target->kind == comm::LineTarget::Kind::Device ? target->path : target->host);
    if (target->kind != comm::LineTarget::Kind::Device)
        m_tcpPort->setValue(target->port);
}

void PortMapDlg::kindChanged()
{
    m_tcpPort->setEnabled(m_kind->currentIndex() != int(comm::LineTarget::Kind::Device));
}

bool PortMapDlg::writeEntry()
{
    comm::LineTarget target;
    target.kind = comm::LineTarget::Kind(m_kind->currentIndex());
    const QString text = m_target->text().trimmed();
    if (target.kind == comm::LineTarget::Kind::Device)
        target.path = text;
    else
        target.host = text.startsWith(u'[') && text.endsWith(u']') ? text.mid(1, text.size() - 2) : text;
    target.port = quint16(m_tcpPort->value());
    const std::optional<comm::LineTarget> checked = comm::parseLineTarget(target.text());
    if (text.isEmpty() || !checked || checked->kind != target.kind) {
        MessageBox::error(u"Неверное устройство или адрес: «%1»."_s.arg(text));
        m_target->setFocus();
        return false;
    }
    if (!comm::ComPortMap(m_path).setEntry(m_number->value(), checked->text())) {
        MessageBox::error(u"Не удалось записать файл настроек %1."_s.arg(m_path));
        return false;
    }
    reload();
    return true;
}

bool PortMapDlg::removeSelected()
{
    const int row = m_table->currentRow();
    if (row < 0)
        return false;
    const int number = m_table->item(row, 0)->data(Qt::UserRole).toInt();
    if (MessageBox::question(u"Удалить COM%1 из списка портов?"_s.arg(number)) != MbAnswer::Yes)
        return false;
    const bool removed = comm::ComPortMap(m_path).removeEntry(number);
    reload();
    return removed;
}
