#include "CParamDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/Format.h"
#include "base/MessageBox.h"

using namespace Qt::Literals::StringLiterals;

CParamDlg::CParamDlg(int tabSize, int fontPoints, QWidget* parent)
    : QDialog(parent)
    , m_tabSize(tabSize)
    , m_fontPoints(fontPoints)
{
    setWindowTitle(u"Параметры"_s);

    m_tabEdit = new QLineEdit(QString::number(tabSize), this);
    m_pointsEdit = new QLineEdit(QString::number(fontPoints), this);
    for (QLineEdit* edit : {m_tabEdit, m_pointsEdit})
        edit->setMaxLength(12);

    auto* form = new QFormLayout;
    form->addRow(u"Размер табуляции:"_s, m_tabEdit);
    form->addRow(u"Размер шрифта (пт):"_s, m_pointsEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Отмена"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CParamDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(280);
}

QString CParamDlg::rangeMessage(int min, int max)
{
    return fmt::text(u"Введите целое число от %d до %d.", min, max);
}

void CParamDlg::accept()
{
    int tabSize = 0;
    int points = 0;
    if (!takeInt(m_tabEdit, kMinTabSize, kMaxTabSize, tabSize))
        return;
    if (!takeInt(m_pointsEdit, kMinFontPoints, kMaxFontPoints, points))
        return;
    m_tabSize = tabSize;
    m_fontPoints = points;
    QDialog::accept();
}

bool CParamDlg::takeInt(QLineEdit* edit, int min, int max, int& value)
{
    bool ok = false;
    const int parsed = edit->text().trimmed().toInt(&ok);
    if (ok && parsed >= min && parsed <= max) {
        value = parsed;
        return true;
    }
    MessageBox::show(rangeMessage(min, max), MbIcon::Warning);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    return false;
}
