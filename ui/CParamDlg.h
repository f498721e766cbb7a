#pragma once

#include <QDialog>

class QLineEdit;

// "Параметры": the report tab size and the report view font size in points. OK refuses a value
// out of range with a message and keeps the dialog open on that field.
class CParamDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinTabSize = 0;
    static constexpr int kMaxTabSize = 65535;
    // The sizes a font dialog offers; below 1 the report text vanishes.
    static constexpr int kMinFontPoints = 1;
    static constexpr int kMaxFontPoints = 1638;

    CParamDlg(int tabSize, int fontPoints, QWidget* parent = nullptr);

    // The accepted values; the initial ones until OK succeeds.
    int tabSize() const { return m_tabSize; }
    int fontPoints() const { return m_fontPoints; }

    QLineEdit* tabSizeEdit() const { return m_tabEdit; }
    QLineEdit* fontPointsEdit() const { return m_pointsEdit; }

    static QString rangeMessage(int min, int max);

public slots:
    void accept() override;

private:
    // The field's integer when it lies in [min, max]; else the message, with the field selected.
    bool takeInt(QLineEdit* edit, int min, int max, int& value);

    QLineEdit* m_tabEdit = nullptr;
    QLineEdit* m_pointsEdit = nullptr;
    int m_tabSize;
    int m_fontPoints;
};
