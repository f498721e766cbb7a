#include "CSelectArcDateDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CSelectArcDateDlg::CSelectArcDateDlg(const QDate& start, const std::optional<QDate>& end, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(u"Установка дат"_s);
    m_startEdit = new QDateEdit(start, this);
    m_endEdit = new QDateEdit(end.value_or(start), this);
    for (QDateEdit* edit : { m_startEdit, m_endEdit }) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(u"dd.MM.yyyy"_s);
    }
    m_toEnd = new QCheckBox(u"До конца"_s, this);
    m_toEnd->setChecked(!end.has_value());
    m_endEdit->setEnabled(end.has_value());
    connect(m_toEnd, &QCheckBox::toggled, m_endEdit, [this](bool on) { m_endEdit->setEnabled(!on); });

    auto* dates = new QFormLayout;
    dates->addRow(u"с:"_s, m_startEdit);
    dates->addRow(u"по:"_s, m_endEdit);
    dates->addRow(QString(), m_toEnd);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"Выберите диапазон дат в архиве: "_s, this));
    layout->addLayout(dates);
    layout->addWidget(buttons);
}

QDate CSelectArcDateDlg::start() const
{
    return m_startEdit->date();
}

std::optional<QDate> CSelectArcDateDlg::end() const
{
    if (m_toEnd->isChecked())
        return std::nullopt;
    return m_endEdit->date();
}
