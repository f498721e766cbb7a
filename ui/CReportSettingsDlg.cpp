#include "CReportSettingsDlg.h"

#include <algorithm>

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "archive/ReportBuilder.h"
#include "base/Format.h"
#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QLineEdit* readOnlyField(const QString& text, QWidget* parent)
{
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    return field;
}

} // namespace

CReportSettingsDlg::CReportSettingsDlg(const ReportSettingsRequest& request, QWidget* parent)
    : QDialog(parent)
    , m_request(request)
{
    setWindowTitle(u"Параметры отчёта"_s);

    auto* identity = new QFormLayout;
    identity->addRow(u"Серийный номер:"_s, readOnlyField(fmt::text(u"%05u", unsigned(request.serial)), this));
    identity->addRow(u"Модель ТС:"_s, readOnlyField(request.typeName, this));
    identity->addRow(u"Сетевой адрес:"_s, readOnlyField(fmt::text(u"%02X", unsigned(request.netAddress & 0xFF)), this));
    m_contour = new QComboBox(this);
    // An archive without its contour count still has the first contour.
    const int contours = std::max(1, request.numSys);
    for (int c = 1; c <= contours; ++c)
        m_contour->addItem(QString::number(c));
    m_contour->setCurrentIndex(request.contour >= 0 && request.contour < contours ? request.contour : 0);
    identity->addRow(u"Номер контура:"_s, m_contour);

    auto* kind = new QGroupBox(u"Тип отчёта"_s, this);
    m_hourly = new QRadioButton(u"Почасовой"_s, kind);
    m_daily = new QRadioButton(u"Посуточный"_s, kind);
    (request.kind == archive::ReportKind::Daily ? m_daily : m_hourly)->setChecked(true);
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
    m_fromEdit->setDate(request.first);
    m_toEdit->setDate(request.last);
    auto* periodLayout = new QFormLayout(period);
    periodLayout->addRow(u"с:"_s, m_fromEdit);
    periodLayout->addRow(u"по:"_s, m_toEdit);
    connect(m_daily, &QRadioButton::toggled, this, &CReportSettingsDlg::updateToEdit);
    updateToEdit();

    auto* choices = new QHBoxLayout;
    choices->addWidget(kind);
    choices->addWidget(period);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CReportSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CReportSettingsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(identity);
    layout->addLayout(choices);
    layout->addWidget(buttons);
    m_contour->setFocus();
}

void CReportSettingsDlg::updateToEdit()
{
    m_toEdit->setEnabled(m_daily->isChecked());
}

void CReportSettingsDlg::accept()
{
    if (m_contour->currentIndex() < 0) {
        MessageBox::error(u"System error: wrong value from combo box"_s);
        return;
    }
    m_request.contour = m_contour->currentIndex();
    m_request.kind = m_hourly->isChecked() ? archive::ReportKind::Hourly : archive::ReportKind::Daily;
    m_request.first = m_fromEdit->date();
    m_request.last = m_toEdit->date();
    // Typed dates are checked here, not refused digit by digit against the archive's span.
    const QDate earliest = m_request.earliest.isValid() ? m_request.earliest.date() : QDate();
    const QDate latest = m_request.latest.isValid() ? m_request.latest.date() : QDate();
    const bool daily = m_request.kind == archive::ReportKind::Daily;
    QDateEdit* wrong = nullptr;
    QString why;
    if (earliest.isValid() && latest.isValid()) {
        if (m_request.first < earliest || m_request.first > latest)
            wrong = m_fromEdit;
        else if (daily && (m_request.last < earliest || m_request.last > latest))
            wrong = m_toEdit;
        if (wrong != nullptr)
            why = u"Архив содержит записи с %1 по %2."_s.arg(earliest.toString(u"dd.MM.yyyy"_s),
                                                              latest.toString(u"dd.MM.yyyy"_s));
    }
    if (wrong != nullptr) {
        MessageBox::error(why);
        wrong->setFocus();
        return;
    }
    const archive::ReportRequest period
        = archive::makeReportRequest(m_request.kind, m_request.contour, m_request.first, m_request.last);
    m_request.start = period.start;
    m_request.end = period.end;
    QDialog::accept();
}
