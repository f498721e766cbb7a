#include "CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/CLorn2App.h"
#include "base/Format.h"
#include "base/StringTable.h"
#include "lorn2_version/Version.h"

using namespace Qt::Literals::StringLiterals;

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(u"О проекте Lorn2"_s);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(iconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* product = new QLabel(QStringLiteral(LORN2_PRODUCT_NAME), this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    product->setFont(bold);

    m_version = new QLabel(versionText(CLorn2App::GetProgramVersion()), this);
    auto* company = new QLabel(QStringLiteral(LORN2_COMPANY_NAME), this);
    auto* legal = new QLabel(QStringLiteral(LORN2_LEGAL_NOTICE), this);
    auto* licence = new QLabel(licenceText(), this);
    licence->setWordWrap(true);
    licence->setOpenExternalLinks(true);
    for (QLabel* label : {product, m_version, company, legal})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    licence->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(m_version);
    texts->addSpacing(6);
    texts->addWidget(company);
    texts->addWidget(legal);
    texts->addSpacing(6);
    texts->addWidget(licence);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(8);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ОК"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    setMinimumWidth(340);
}

QString CAboutDlg::licenceText()
{
    return u"Свободная программа: её можно распространять и изменять на условиях GNU General Public "
           "License версии 3 или любой более поздней (GPL-3.0-or-later). Гарантии не предоставляются. "
           "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">Текст лицензии</a>"_s;
}

QString CAboutDlg::versionLabelText() const
{
    return m_version->text();
}

QString CAboutDlg::versionText(const QString& programVersion)
{
    if (programVersion.isEmpty())
        return u"0.0.0.0"_s;
    return fmt::text(LoadResString(160, u"Version: %s"_s), programVersion);
}
