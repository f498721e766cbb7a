#pragma once

#include <QPixmap>
#include <QStringList>
#include <QWidget>

class QPaintDevice;

// The start-up window: the product's name and version over a picture, and what start-up is
// doing. It stays until start-up closes it.
class CSplashWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CSplashWindow(const QString& status = QString(), QWidget* parent = nullptr);

    // Shows the window centred on the screen and paints it at once.
    void showNow();
    void setStatusText(const QString& status);
    QString statusText() const { return m_status; }

    // Company, version, legal notice and comments, in the order they are drawn.
    QStringList infoLines() const { return m_lines; }
    QString productName() const { return m_product; }

    // The boxes the texts are centred in, for this window's width.
    QRect titleBox() const;
    QRect lineBox(int k) const;
    QRect statusBox() const;
    // The fitting areas: the boxes' width and the height shared by all their lines.
    QSize titleFitArea() const;
    QSize linesFitArea() const;
    QSize statusFitArea() const;

    int titlePointSize() const { return m_titlePoints; }
    int linesPointSize() const { return m_linesPoints; }
    // Zero until a status text has been fitted.
    int statusPointSize() const { return m_statusPoints; }

    static QFont makeFont(const QString& family, int points);
    // From 8 points up in steps of 2: the size before the first one at which the widest line is
    // wider than the area or a line is taller than the area's height shared by all lines.
    static int fitPointSize(const QString& family, const QStringList& lines, QSize area, const QPaintDevice* device);
    // "Version 1.2.3.4"; leading zero numbers are left out.
    static QString versionText(int major, int minor, int patch, int build);

    static inline const QString kTitleFamily = QStringLiteral("Times New Roman");
    static inline const QString kTextFamily = QStringLiteral("Arial");

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QPixmap makeBackground(QSize size);
    int lineHeight() const;

    QPixmap m_background;
    QString m_product;
    QStringList m_lines;
    QString m_status;
    int m_titlePoints = 0;
    int m_linesPoints = 0;
    int m_statusPoints = 0;
};
