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

private:
    QLabel* m_version = nullptr;
};
