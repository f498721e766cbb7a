#include "CSplashWindow.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "lorn2_version/Version.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QSize kBitmapSize(400, 300);
// A size no text on a 400-pixel window reaches; it only keeps the search finite.
constexpr int kMaxPoints = 400;

} // namespace

CSplashWindow::CSplashWindow(const QString& status, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_background(makeBackground(kBitmapSize))
    , m_product(QStringLiteral(LORN2_PRODUCT_NAME))
    , m_lines{QStringLiteral(LORN2_COMPANY_NAME),
              versionText(LORN2_VERSION_MAJOR, LORN2_VERSION_MINOR, LORN2_VERSION_PATCH, LORN2_VERSION_TWEAK),
              QStringLiteral(LORN2_LEGAL_NOTICE), QStringLiteral(LORN2_COMMENTS)}
    , m_status(status)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(kBitmapSize);
    setCursor(Qt::ArrowCursor);
    setWindowTitle(m_product);

    m_titlePoints = fitPointSize(kTitleFamily, {m_product}, titleFitArea(), this);
    m_linesPoints = fitPointSize(kTextFamily, m_lines, linesFitArea(), this);
    if (!m_status.isEmpty())
        m_statusPoints = fitPointSize(kTextFamily, {m_status}, statusFitArea(), this);
}

void CSplashWindow::showNow()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CSplashWindow::setStatusText(const QString& status)
{
    m_status = status;
    // Fitted once, at the first text, and kept for every later one.
    if (m_statusPoints == 0 && !m_status.isEmpty())
        m_statusPoints = fitPointSize(kTextFamily, {m_status}, statusFitArea(), this);
    if (isVisible()) {
        repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

QRect CSplashWindow::titleBox() const
{
    return QRect(QPoint(10, 10), QPoint(width() - 20, 80) - QPoint(1, 1));
}

QRect CSplashWindow::lineBox(int k) const
{
    const int h = lineHeight();
    return QRect(QPoint(20, 100 + k * h), QPoint(width() - 20, 100 + (k + 1) * h) - QPoint(1, 1));
}

QRect CSplashWindow::statusBox() const
{
    return QRect(QPoint(10, 270), QPoint(width() - 10, 290) - QPoint(1, 1));
}

QSize CSplashWindow::titleFitArea() const
{
    return QSize(width() - 30, 70);
}

QSize CSplashWindow::linesFitArea() const
{
    return QSize(width() - 40, 120);
}

QSize CSplashWindow::statusFitArea() const
{
    return QSize(width() - 20, 20);
}

QFont CSplashWindow::makeFont(const QString& family, int points)
{
    QFont font(family);
    font.setStyleHint(family == kTitleFamily ? QFont::Serif : QFont::SansSerif);
    font.setPointSize(std::max(points, 1));
    return font;
}

int CSplashWindow::fitPointSize(const QString& family, const QStringList& lines, QSize area, const QPaintDevice* device)
{
    const int count = std::max<int>(lines.size(), 1);
    const auto fits = [&](int points) {
        const QFontMetrics metrics(makeFont(family, points), device);
        if (metrics.height() > area.height() / count)
            return false;
        for (const QString& line : lines) {
            if (metrics.horizontalAdvance(line) > area.width())
                return false;
        }
        return true;
    };
    int points = 8;
    while (points < kMaxPoints && fits(points))
        points += 2;
    return points - 2;
}

QString CSplashWindow::versionText(int major, int minor, int patch, int build)
{
    QList<int> numbers{major, minor, patch, build};
    while (numbers.size() > 1 && numbers.first() == 0)
        numbers.removeFirst();
    QStringList parts;
    for (int n : numbers)
        parts << QString::number(n);
    return u"Version "_s + parts.join(u'.');
}

void CSplashWindow::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;

    painter.setPen(Qt::black);
    painter.setFont(makeFont(kTitleFamily, m_titlePoints));
    painter.drawText(titleBox(), flags, m_product);

    painter.setFont(makeFont(kTextFamily, m_linesPoints));
    for (int k = 0; k < m_lines.size(); ++k)
        painter.drawText(lineBox(k), flags, m_lines.at(k));

    if (!m_status.isEmpty() && m_statusPoints > 0) {
        painter.setPen(Qt::blue);
        painter.setFont(makeFont(kTextFamily, m_statusPoints));
        painter.drawText(statusBox(), flags, m_status);
    }
}

QPixmap CSplashWindow::makeBackground(QSize size)
{
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    const QRectF all(QPointF(0, 0), QSizeF(size));

    QLinearGradient sky(all.topLeft(), all.bottomLeft());
    sky.setColorAt(0.0, QColor(0xfb, 0xfc, 0xfe));
    sky.setColorAt(0.55, QColor(0xe4, 0xec, 0xf5));
    sky.setColorAt(1.0, QColor(0xc9, 0xd8, 0xe8));
    painter.fillRect(all, sky);

    // A warm band between the name and the details: the program is about heat.
    QLinearGradient heat(all.topLeft(), all.topRight());
    heat.setColorAt(0.0, QColor(0xf0, 0xa0, 0x30, 0));
    heat.setColorAt(0.2, QColor(0xf0, 0xa0, 0x30));
    heat.setColorAt(0.8, QColor(0xd0, 0x40, 0x20));
    heat.setColorAt(1.0, QColor(0xd0, 0x40, 0x20, 0));
    painter.fillRect(QRectF(0, 88, size.width(), 3), heat);

    // A quiet band for the status line.
    painter.fillRect(QRectF(0, 262, size.width(), 36), QColor(255, 255, 255, 110));

    painter.setPen(QColor(0x7f, 0x93, 0xab));
    painter.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    return pixmap;
}

int CSplashWindow::lineHeight() const
{
    return QFontMetrics(makeFont(kTextFamily, m_linesPoints), this).height();
}
