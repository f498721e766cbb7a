#include "CReportView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "CReportStatic.h"
#include "LogFontConversion.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "base/Format.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

CReportView::CReportView(CLorn2Doc& document, int accountIndex, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_accountIndex(accountIndex)
{
    m_back = new QPushButton(u"К списку ТС"_s, this);
    connect(m_back, &QPushButton::clicked, this, &CReportView::backToDeviceList);
    auto* top = new QHBoxLayout;
    top->addWidget(m_back);
    top->addWidget(addCommandButton(cmd::CreateReport, u"Создать из архива..."_s));
    top->addStretch(1);

    m_serial = new QLabel(this);
    m_type = new QLabel(this);
    m_kind = new QLabel(this);
    m_from = new QLabel(this);
    m_to = new QLabel(this);
    m_contour = new QLabel(this);
    auto* labels = new QGridLayout;
    labels->addWidget(new QLabel(u"Серийный номер:"_s, this), 0, 0);
    labels->addWidget(m_serial, 0, 1);
    labels->addWidget(new QLabel(u"Модель ТС:"_s, this), 1, 0);
    labels->addWidget(m_type, 1, 1);
    labels->addWidget(m_kind, 0, 3);
    labels->addWidget(new QLabel(u"c:"_s, this), 0, 4);
    labels->addWidget(m_from, 0, 5);
    labels->addWidget(new QLabel(u"по:"_s, this), 1, 4);
    labels->addWidget(m_to, 1, 5);
    labels->addWidget(m_contour, 1, 3);
    labels->setColumnMinimumWidth(2, 24);
    labels->setColumnStretch(6, 1);

    m_drawing = new CReportStatic(this);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(addCommandButton(cmd::SaveReport, u"Сохранить в файл..."_s));
    bottom->addWidget(addCommandButton(cmd::LoadReport, u"Загрузить из файла..."_s));
    bottom->addWidget(addCommandButton(cmd::PrintReport, u"Печать..."_s));
    m_pdf = new QPushButton(u"Сохранить в PDF..."_s, this);
    connect(m_pdf, &QPushButton::clicked, this, &CReportView::pdfRequested);
    bottom->addWidget(m_pdf);
    bottom->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(labels);
    layout->addWidget(m_drawing, 1);
    layout->addLayout(bottom);
}

QPushButton* CReportView::addCommandButton(int command, const QString& caption)
{
    auto* button = new QPushButton(caption, this);
    connect(button, &QPushButton::clicked, this, [this, command] { emit commandRequested(command); });
    m_commandButtons.insert(command, button);
    return button;
}

QString CReportView::titleFor(const CDevData& account)
{
    return fmt::text(LoadResString(175, u"Report. Heatcounter: %s Serial #: %05u"_s), account.typeName(),
                     unsigned(account.m_serial));
}

void CReportView::fillLabels(const CDevData& account)
{
    m_serial->setText(fmt::text(u"%05u", unsigned(account.m_serial)));
    m_type->setText(account.typeName());
    const archive::ReportState& state = account.m_report;
    // A loaded or received report does not say how it was made.
    if (!state.start.isValid()) {
        for (QLabel* label : { m_kind, m_from, m_to, m_contour })
            label->clear();
        return;
    }
    const bool daily = state.kind == archive::ReportKind::Daily;
    m_kind->setText(daily ? LoadResString(156, u"Day report"_s) : LoadResString(155, u"Hour report"_s));
    const QLocale locale = QLocale::system();
    m_from->setText(locale.toString(state.start.date(), QLocale::ShortFormat));
    // A daily report runs up to its stored end, as its header says; an hourly one is one day.
    const QDate lastDay = daily && state.end.isValid() ? state.end.date() : state.start.date();
    m_to->setText(locale.toString(lastDay, QLocale::ShortFormat));
    m_contour->setText(fmt::text(LoadResString(157, u"Contour: %d"_s), state.contour + 1));
}

void CReportView::initialUpdate()
{
    const CDevData* account = m_document.account(m_accountIndex);
    if (account == nullptr) {
        m_drawing->setText(QByteArray(), nullptr, m_document.m_tabSize);
        return;
    }
    fillLabels(*account);
    m_drawing->setTextFont(ui::fontFromLogFont(m_document.m_viewFont));
    m_controls = account->m_escTable;
    m_drawing->setText(account->m_reportText.toByteArray(), &m_controls, m_document.m_tabSize);
    if (Shell* shell = m_document.shell())
        shell->setTitle(titleFor(*account));
}

void CReportView::repaintView()
{
    m_drawing->setTabSize(m_document.m_tabSize);
    m_drawing->setTextFont(ui::fontFromLogFont(m_document.m_viewFont));
    update();
}

void CReportView::updateCommandButtons(const std::function<bool(int)>& isEnabled)
{
    for (auto it = m_commandButtons.cbegin(); it != m_commandButtons.cend(); ++it)
        it.value()->setEnabled(isEnabled(it.key()));
    // A PDF is the printed pages, so it goes with "Печать...".
    m_pdf->setEnabled(isEnabled(cmd::PrintReport));
}
