#include "ui/chart/ChartFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "ui/chart/ArchiveChart.h"

using namespace Qt::StringLiterals;

namespace chartui {

std::optional<ChartFormat> chartFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"png")
        return ChartFormat::Png;
    if (suffix == u"svg")
        return ChartFormat::Svg;
    if (suffix == u"pdf")
        return ChartFormat::Pdf;
    return std::nullopt;
}

void paintChart(ArchiveChart& chart, QPainter& painter, const QRectF& target)
{
    QGraphicsScene* scene = chart.scene();
    if (scene == nullptr)
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    scene->render(&painter, target, chart.sceneBoundingRect(), Qt::KeepAspectRatio);
}

bool writeChart(ArchiveChart& chart, QIODevice& out, ChartFormat format, const QString& title, QString* error)
{
    const QSizeF size = chart.size();
    const auto fail = [&](const QString& why) {
        if (error != nullptr)
            *error = why.isEmpty() ? u"Ошибка записи"_s : why;
        return false;
    };
    switch (format) {
    case ChartFormat::Png: {
        QImage image((size * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2.0);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paintChart(chart, painter, QRectF(QPointF(), size));
        }
        if (!image.save(&out, "PNG"))
            return fail(out.errorString());
        return true;
    }
    case ChartFormat::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&out);
        svg.setSize(size.toSize());
        svg.setViewBox(QRectF(QPointF(), size));
        svg.setTitle(title);
        QPainter painter;
        if (!painter.begin(&svg))
            return fail(out.errorString());
        paintChart(chart, painter, QRectF(QPointF(), size));
        painter.end();
        return true;
    }
    case ChartFormat::Pdf: {
        QPdfWriter pdf(&out);
        pdf.setTitle(title);
        pdf.setCreator(u"Lorn2"_s);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                      QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&pdf))
            return fail(out.errorString());
        const QRect page = pdf.pageLayout().paintRectPixels(pdf.resolution());
        paintChart(chart, painter, QRectF(QPointF(), page.size()));
        painter.end();
        return true;
    }
    }
    return fail({});
}

OffscreenChart::OffscreenChart(QSize size)
    : m_scene(new QGraphicsScene)
    , m_chart(new ArchiveChart)
    , m_size(size)
{
    m_scene->addItem(m_chart);
    m_chart->setGeometry(QRectF(QPointF(), QSizeF(size)));
}

OffscreenChart::~OffscreenChart()
{
    delete m_scene; // owns the chart
}

void OffscreenChart::layout()
{
    m_chart->setGeometry(QRectF(QPointF(), QSizeF(m_size)));
    if (m_chart->layout() != nullptr)
        m_chart->layout()->activate();
    QCoreApplication::sendPostedEvents();
    m_chart->refresh();
}

} // namespace chartui
