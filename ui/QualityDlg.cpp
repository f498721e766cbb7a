#include "QualityDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Kind = archive::quality::Finding::Kind;

namespace {

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Gap:
        return u"Пропуск"_s;
    case Kind::ErrorHours:
        return u"Коды ошибок"_s;
    case Kind::Tmin:
    case Kind::Tmax:
    case Kind::Tdt:
        return u"Минуты вне диапазона"_s;
    case Kind::Backwards:
        return u"Интегратор назад"_s;
    case Kind::Duplicate:
        return u"Повтор"_s;
    case Kind::ClockJump:
        return u"Скачок часов"_s;
    case Kind::NegativeTerr:
        return u"Terr < 0"_s;
    }
    return {};
}

} // namespace

QualityDlg::QualityDlg(const QString& accountText, const archive::quality::Report& report,
                       const std::vector<sctArcZap>& records, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(u"Проверка данных - "_s + accountText);
    m_summary = new QLabel(archive::quality::summaryText(report), this);
    m_summary->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({ u"Вид"_s, u"Замечание"_s });
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    for (const archive::quality::Finding& f : report.findings) {
        auto* item = new QTreeWidgetItem(m_list, { kindText(f.kind), archive::quality::findingText(f) });
        item->setToolTip(1, item->text(1));
        const bool linked = f.record >= 0 && std::size_t(f.record) < records.size();
        m_targets.push_back(linked ? records[std::size_t(f.record)] : sctArcZap{});
        if (!linked)
            item->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
    }
    if (report.findings.empty())
        new QTreeWidgetItem(m_list, { QString(), u"Замечаний нет"_s });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { openCurrent(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* show = buttons->addButton(u"Показать в архиве"_s, QDialogButtonBox::ActionRole);
    show->setEnabled(false);
    connect(show, &QPushButton::clicked, this, [this] { openCurrent(); });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this, show] {
        const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
        show->setEnabled(row >= 0 && std::size_t(row) < m_targets.size() && m_targets[std::size_t(row)].month != 0);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(820, 480);
}

void QualityDlg::openCurrent()
{
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0 || std::size_t(row) >= m_targets.size() || m_targets[std::size_t(row)].month == 0)
        return;
    emit showRecord(m_targets[std::size_t(row)]);
}
