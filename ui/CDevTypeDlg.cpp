#include "CDevTypeDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "storage/DeviceTypes.h"

using namespace Qt::Literals::StringLiterals;

CDevTypeDlg::CDevTypeDlg(const std::vector<Entry>& entries, QWidget* parent)
    : QDialog(parent)
    , m_entries(entries)
{
    setWindowTitle(u"Выбор типа ТС"_s);
    m_types = new QComboBox(this);
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_types->addItem(devtypes::displayName(m_entries[i].type), int(i));
    m_types->setCurrentIndex(m_entries.empty() ? -1 : 0);

    auto* form = new QFormLayout;
    form->addRow(u"Тип ТС:"_s, m_types);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDevTypeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(260);
}

QString CDevTypeDlg::chosenName() const
{
    return devtypes::displayName(m_chosen.type);
}

void CDevTypeDlg::accept()
{
    bool ok = false;
    const int entry = m_types->currentData().toInt(&ok);
    if (!ok || entry < 0 || std::size_t(entry) >= m_entries.size()) {
        MessageBox::error(LoadResString(187, u"System error: failed to get account type"_s));
        return;
    }
    m_chosen = m_entries[std::size_t(entry)];
    QDialog::accept();
}
