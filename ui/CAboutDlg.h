#pragma once

#include <QDialog>

class QLabel;

// "О проекте Lorn2": the product, its version, company and legal notice.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QString versionLabelText() const;

    // The version line for a program version; "0.0.0.0" when the version is unknown.
    static QString versionText(const QString& programVersion);
    // The licence the program is given under, with a link to its text.
    static QString licenceText();

private:
    QLabel* m_version = nullptr;
};
