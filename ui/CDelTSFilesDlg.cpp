#include "CDelTSFilesDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CDelTSFilesDlg::CDelTSFilesDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(u"Удаление файлов ТС"_s);
    auto* text =
        new QLabel(u"Удалить файлы ТС (конфигурация, архив) с жёсткого диска или переместить их в архив?"_s, this);
    text->setWordWrap(true);

    m_delete = new QPushButton(u"&Удалить"_s, this);
    m_move = new QPushButton(u"&Переместить"_s, this);
    m_cancel = new QPushButton(u"&Отмена"_s, this);
    // Enter must not delete files: only Cancel is the default.
    m_delete->setAutoDefault(false);
    m_move->setAutoDefault(false);
    m_cancel->setDefault(true);
    connect(m_delete, &QPushButton::clicked, this, [this] { choose(DeleteFilesChoice::Delete); });
    connect(m_move, &QPushButton::clicked, this, [this] { choose(DeleteFilesChoice::Move); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_move);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

void CDelTSFilesDlg::choose(DeleteFilesChoice choice)
{
    m_choice = choice;
    accept();
}
