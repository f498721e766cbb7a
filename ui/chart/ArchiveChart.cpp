#include "ui/chart/ArchiveChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QPainterPath>
#include <QScatterSeries>
#include <QTimeZone>
#include <QValueAxis>

#include "archive/DataQuality.h"

using namespace Qt::StringLiterals;
using archive::chart::Band;
using archive::chart::DrawPoint;
using archive::chart::Mark;
using archive::chart::Step;

namespace chartui {

namespace {

constexpr Mark kMarks[] = { Mark::Missing, Mark::Error, Mark::Tmin, Mark::Tmax, Mark::Tdt };
constexpr double kMarkStrip = 5.0; // height of a minutes mark at the foot of the plot

// A stamp as the axis, which reads local time, shows it.
qint64 axisMs(std::int64_t stampMs)
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(stampMs, QTimeZone::utc());
    return QDateTime(utc.date(), utc.time()).toMSecsSinceEpoch();
}

QDateTime stampDateTime(std::int64_t stampMs)
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(stampMs, QTimeZone::utc());
    return QDateTime(utc.date(), utc.time());
}

std::pair<double, double> padded(double lo, double hi)
{
    if (!(lo <= hi))
        return { 0.0, 1.0 };
    if (hi - lo < 1e-9) {
        const double d = std::max(1.0, std::abs(lo) * 0.05);
        return { lo - d, hi + d };
    }
    const double pad = (hi - lo) * 0.05;
    return { lo - pad, hi + pad };
}

} // namespace

QColor quantityColor(Quantity q)
{
    switch (q) {
    case Quantity::Q:
        return QColor(0xff, 0x7f, 0x0e);
    case Quantity::M1:
        return QColor(0x2c, 0xa0, 0x2c);
    case Quantity::M2:
        return QColor(0x17, 0xbe, 0xcf);
    case Quantity::t1:
        return QColor(0xd6, 0x27, 0x28);
    case Quantity::t2:
        return QColor(0x1f, 0x77, 0xb4);
    case Quantity::dt:
        return QColor(0x94, 0x67, 0xbd);
    case Quantity::p1:
        return QColor(0x8c, 0x56, 0x4b);
    case Quantity::p2:
        return QColor(0x7f, 0x7f, 0x7f);
    }
    return Qt::black;
}

QColor markColor(Mark mark)
{
    switch (mark) {
    case Mark::Missing:
        return QColor(0x60, 0x60, 0x60);
    case Mark::Error:
        return QColor(0xff, 0x00, 0x00);
    case Mark::Tmin:
        return QColor(0xbc, 0xbd, 0x22);
    case Mark::Tmax:
        return QColor(0xe3, 0x77, 0xc2);
    case Mark::Tdt:
        return QColor(0x00, 0x80, 0x80);
    }
    return Qt::black;
}

QString markCaption(Mark mark)
{
    switch (mark) {
    case Mark::Missing:
        return u"нет данных"_s;
    case Mark::Error:
        return u"коды ошибок"_s;
    // The legend takes its labels for markup.
    case Mark::Tmin:
        return u"G&lt;Gmin"_s;
    case Mark::Tmax:
        return u"G&gt;Gmax"_s;
    case Mark::Tdt:
        return u"dt&lt;dtmin"_s;
    }
    return {};
}

// Paints the bands and the lines over the plot area, clipped to it.
class SeriesLayer : public QGraphicsItem
{
public:
    explicit SeriesLayer(ArchiveChart* chart)
        : QGraphicsItem(chart)
        , m_chart(chart)
    {
        setZValue(10);
        setAcceptedMouseButtons(Qt::NoButton);
    }

    QRectF boundingRect() const override { return m_chart->plotArea(); }

    void geometryChanged() { prepareGeometryChange(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        const QRectF plot = m_chart->plotArea();
        if (plot.width() < 2 || plot.height() < 2)
            return;
        painter->save();
        painter->setClipRect(plot);
        paintBands(painter, plot);
        painter->setRenderHint(QPainter::Antialiasing, true);
        for (Quantity q : m_chart->m_shown)
            paintLine(painter, q);
        painter->restore();
    }

private:
    // Marks are whole-pixel columns at least a pixel wide, so a single missing hour of ten
    // years still shows. On a raster device all columns of one colour go in a single drawing
    // of a one-line strip: each fill costs a hand-over to the painter's worker threads, which
    // for a few hundred bands would outweigh the pixels. Vector devices get rectangles.
    void paintBands(QPainter* painter, const QRectF& plot)
    {
        const auto rects = [&](Mark m, int top, int height) {
            QList<QRect> out;
            for (const Band& b : m_chart->m_bands[std::size_t(m)]) {
                const int x0 = int(std::floor(m_chart->xToScene(b.from)));
                const int x1 = std::max(int(std::ceil(m_chart->xToScene(b.to))), x0 + 1);
                out.append(QRect(x0, top, x1 - x0, height));
            }
            return out;
        };
        const bool raster = painter->paintEngine() != nullptr && painter->paintEngine()->type() == QPaintEngine::Raster;
        const int left = int(std::floor(plot.left()));
        const int width = int(std::ceil(plot.right())) - left;
        const auto fill = [&](const QList<QRect>& list, const QColor& color) {
            if (list.isEmpty())
                return;
            if (!raster) {
                for (const QRect& r : list)
                    painter->fillRect(r, color);
                return;
            }
            QImage strip(std::max(1, width), 1, QImage::Format_ARGB32_Premultiplied);
            strip.fill(Qt::transparent);
            const QRgb pixel = qPremultiply(color.rgba());
            auto* line = reinterpret_cast<QRgb*>(strip.scanLine(0));
            for (const QRect& r : list) {
                for (int x = std::max(r.left(), left); x <= std::min(r.right(), left + width - 1); ++x)
                    line[x - left] = pixel;
            }
            const QRect& first = list.front();
            painter->drawImage(QRect(left, first.top(), width, first.height()), strip);
        };

        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        const int top = int(std::floor(plot.top())), height = int(std::ceil(plot.height()));
        const QList<QRect> missing = rects(Mark::Missing, top, height);
        fill(missing, QColor(0xe8, 0xe8, 0xe8));
        if (!missing.isEmpty()) {
            painter->save();
            QRegion region;
            region.setRects(missing.constData(), int(missing.size()));
            painter->setClipRegion(region, Qt::IntersectClip);
            painter->fillRect(QRect(left, top, width, height), QBrush(markColor(Mark::Missing), Qt::BDiagPattern));
            painter->restore();
        }
        QColor error = markColor(Mark::Error);
        error.setAlpha(48);
        fill(rects(Mark::Error, top, height), error);
        fill(rects(Mark::Error, top, int(kMarkStrip)), markColor(Mark::Error));
        int row = 0;
        for (Mark m : { Mark::Tmin, Mark::Tmax, Mark::Tdt }) {
            ++row;
            fill(rects(m, int(plot.bottom() - kMarkStrip * row), int(kMarkStrip)), markColor(m));
        }
    }

    void paintLine(QPainter* painter, Quantity q)
    {
        const std::vector<DrawPoint>& pts = m_chart->m_drawn[std::size_t(q)];
        if (pts.empty())
            return;
        const QValueAxis* axis = m_chart->onAmountAxis(q) ? m_chart->m_amountAxis : m_chart->m_readingAxis;
        const QRectF plot = m_chart->plotArea();
        const double lo = axis->min(), hi = axis->max();
        const auto yOf = [&](double v) { return plot.bottom() - (v - lo) / (hi - lo) * plot.height(); };
        QPainterPath path;
        std::vector<QPointF> lone;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const QPointF p(m_chart->xToScene(pts[i].x), yOf(pts[i].y));
            const bool starts = i == 0 || pts[i].newSegment;
            const bool ends = i + 1 == pts.size() || pts[i + 1].newSegment;
            if (starts && ends)
                lone.push_back(p);
            if (starts)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        // Many slots a pixel column make a comb of vertical strokes; smoothing them costs a
        // hundred times more and shows nothing a plain stroke does not.
        const bool dense = double(pts.size()) > plot.width() * 0.75;
        painter->setRenderHint(QPainter::Antialiasing, !dense);
        QPen pen(quantityColor(q), dense ? 1.0 : 1.6);
        pen.setJoinStyle(Qt::RoundJoin);
        // A cosmetic pen is drawn line by line; a wide one is first turned into an outline whose
        // thousands of edges every scan line would cross.
        pen.setCosmetic(dense);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(path);
        // A reading with no neighbour would be invisible as a line.
        painter->setBrush(quantityColor(q));
        for (const QPointF& p : lone)
            painter->drawEllipse(p, 2.0, 2.0);
    }

    ArchiveChart* m_chart;
};

ArchiveChart::ArchiveChart(QGraphicsItem* parent)
    : QChart(parent)
{
    setAnimationOptions(QChart::NoAnimation);
    legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QDateTimeAxis(this);
    m_readingAxis = new QValueAxis(this);
    m_amountAxis = new QValueAxis(this);
    addAxis(m_timeAxis, Qt::AlignBottom);
    addAxis(m_readingAxis, Qt::AlignLeft);
    addAxis(m_amountAxis, Qt::AlignRight);
    m_layer = new SeriesLayer(this);
    connect(this, &QChart::plotAreaChanged, this, [this] {
        m_layer->geometryChanged();
        refresh();
    });
}

ArchiveChart::~ArchiveChart() = default;

void ArchiveChart::setSeries(archive::chart::Series series, const QString& energyUnit)
{
    m_series = std::move(series);
    m_energyUnit = energyUnit;
    rebuildLegend();
    resetView();
}

void ArchiveChart::setShown(const std::vector<Quantity>& shown)
{
    m_shown = shown;
    rebuildLegend();
    refresh();
}

void ArchiveChart::rebuildLegend()
{
    for (QLineSeries*& s : m_legend) {
        if (s != nullptr) {
            removeSeries(s);
            delete s;
            s = nullptr;
        }
    }
    for (QScatterSeries*& s : m_markLegend) {
        if (s != nullptr) {
            removeSeries(s);
            delete s;
            s = nullptr;
        }
    }
    // Empty series carry the legend entries and their colours; the layer draws the data.
    for (Quantity q : m_shown) {
        auto* s = new QLineSeries(this);
        s->setName(archive::chart::quantityCaption(q, m_energyUnit));
        s->setPen(QPen(quantityColor(q), 2.0));
        addSeries(s);
        s->attachAxis(m_timeAxis);
        s->attachAxis(onAmountAxis(q) ? m_amountAxis : m_readingAxis);
        m_legend[std::size_t(q)] = s;
    }
    const auto any = [](const std::vector<std::uint32_t>& v) {
        return std::any_of(v.begin(), v.end(), [](std::uint32_t x) { return x != 0; });
    };
    for (Mark m : kMarks) {
        bool present = true;
        if (m == Mark::Missing)
            present = m_series.missingCount() > 0;
        else if (m == Mark::Error)
            present = any(m_series.error);
        else if (m == Mark::Tmin)
            present = any(m_series.tmin);
        else if (m == Mark::Tmax)
            present = any(m_series.tmax);
        else
            present = any(m_series.tdt);
        if (!present)
            continue;
        auto* s = new QScatterSeries(this);
        s->setName(markCaption(m));
        s->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        QColor c = markColor(m);
        s->setColor(c);
        s->setBorderColor(c);
        if (m == Mark::Missing)
            s->setBrush(QBrush(c, Qt::BDiagPattern));
        addSeries(s);
        s->attachAxis(m_timeAxis);
        s->attachAxis(m_readingAxis);
        m_markLegend[std::size_t(m)] = s;
    }
}

void ArchiveChart::resetView()
{
    m_readingRange.reset();
    m_amountRange.reset();
    if (m_series.size() == 0) {
        m_from = m_to = 0;
    } else {
        const std::int64_t w = archive::chart::slotMs(m_series.step);
        m_from = m_series.x.front() - (m_series.step == Step::Hourly ? w : 0);
        m_to = m_series.x.back() + (m_series.step == Step::Hourly ? 0 : w);
    }
    refresh();
}

bool ArchiveChart::isZoomed() const
{
    if (m_series.size() == 0)
        return false;
    const std::int64_t w = archive::chart::slotMs(m_series.step);
    const std::int64_t from = m_series.x.front() - (m_series.step == Step::Hourly ? w : 0);
    return m_from != from || m_readingRange.has_value();
}

void ArchiveChart::setWindow(std::int64_t from, std::int64_t to)
{
    if (m_series.size() == 0)
        return;
    // Never narrower than two slots, never wider than the period.
    const std::int64_t w = archive::chart::slotMs(m_series.step);
    const std::int64_t lo = m_series.x.front() - w, hi = m_series.x.back() + w;
    if (to - from < 2 * w) {
        const std::int64_t mid = (from + to) / 2;
        from = mid - w;
        to = mid + w;
    }
    if (to - from > hi - lo) {
        from = lo;
        to = hi;
    }
    if (from < lo) {
        to += lo - from;
        from = lo;
    }
    if (to > hi) {
        from -= to - hi;
        to = hi;
    }
    m_from = from;
    m_to = to;
    refresh();
}

void ArchiveChart::zoomTime(double factor, double plotX)
{
    const QRectF plot = plotArea();
    const double f = plot.width() > 0 ? std::clamp((plotX - plot.left()) / plot.width(), 0.0, 1.0) : 0.5;
    const double width = double(m_to - m_from);
    const double anchor = double(m_from) + f * width;
    const double next = width * factor;
    setWindow(std::int64_t(anchor - f * next), std::int64_t(anchor + (1.0 - f) * next));
}

void ArchiveChart::panTime(double fraction)
{
    const std::int64_t d = std::int64_t(double(m_to - m_from) * fraction);
    setWindow(m_from + d, m_to + d);
}

void ArchiveChart::zoomToRect(const QRectF& sceneRect)
{
    const QRectF plot = plotArea();
    const QRectF r = sceneRect.normalized().intersected(plot);
    if (r.width() < 3 || plot.width() < 2 || plot.height() < 2)
        return;
    const auto valueAt = [&](const QValueAxis* axis, double y) {
        return axis->min() + (plot.bottom() - y) / plot.height() * (axis->max() - axis->min());
    };
    if (r.height() >= 3) {
        m_readingRange = std::pair{ valueAt(m_readingAxis, r.bottom()), valueAt(m_readingAxis, r.top()) };
        m_amountRange = std::pair{ valueAt(m_amountAxis, r.bottom()), valueAt(m_amountAxis, r.top()) };
    }
    setWindow(sceneToMs(r.left()), sceneToMs(r.right()));
}

double ArchiveChart::xToScene(std::int64_t ms) const
{
    const QRectF plot = plotArea();
    if (m_to <= m_from)
        return plot.left();
    return plot.left() + double(ms - m_from) / double(m_to - m_from) * plot.width();
}

std::int64_t ArchiveChart::sceneToMs(double x) const
{
    const QRectF plot = plotArea();
    if (plot.width() <= 0)
        return m_from;
    return m_from + std::int64_t((x - plot.left()) / plot.width() * double(m_to - m_from));
}

void ArchiveChart::refresh()
{
    const int columns = std::max(1, int(plotArea().width()));
    for (auto& d : m_drawn)
        d.clear();
    for (auto& b : m_bands)
        b.clear();
    if (m_series.size() > 0 && m_to > m_from) {
        // A slot whose interval reaches into the window counts as in it.
        const std::int64_t w = archive::chart::slotMs(m_series.step);
        for (Quantity q : m_shown)
            m_drawn[std::size_t(q)] = archive::chart::downsample(m_series, q, m_from - w, m_to + w, columns);
        for (Mark m : kMarks)
            m_bands[std::size_t(m)] = archive::chart::bands(m_series, m, m_from - w, m_to + w, columns);
    }
    updateAxes();
    m_layer->update();
}

void ArchiveChart::updateAxes()
{
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(axisMs(m_from)), QDateTime::fromMSecsSinceEpoch(axisMs(m_to)));
    const double days = double(m_to - m_from) / double(archive::chart::kDayMs);
    m_timeAxis->setFormat(days > 400 ? u"MM.yyyy"_s : days > 4 ? u"dd.MM"_s : u"dd.MM hh:mm"_s);
    m_timeAxis->setTickCount(std::clamp(int(plotArea().width() / 110) + 1, 2, 14));

    double rlo = std::numeric_limits<double>::infinity(), rhi = -rlo, alo = rlo, ahi = -rlo;
    bool readings = false, amounts = false;
    for (Quantity q : m_shown) {
        const bool amount = onAmountAxis(q);
        (amount ? amounts : readings) = true;
        for (const DrawPoint& p : m_drawn[std::size_t(q)]) {
            if (p.x < m_from || p.x > m_to)
                continue;
            double& lo = amount ? alo : rlo;
            double& hi = amount ? ahi : rhi;
            lo = std::min(lo, p.y);
            hi = std::max(hi, p.y);
        }
    }
    const auto r = m_readingRange.value_or(padded(rlo, rhi));
    const auto a = m_amountRange.value_or(padded(std::min(alo, 0.0), ahi));
    m_readingAxis->setRange(r.first, r.second);
    m_amountAxis->setRange(a.first, a.second);
    m_readingAxis->setVisible(readings || !amounts);
    m_amountAxis->setVisible(amounts);
    QStringList readingTitles, amountTitles;
    for (Quantity q : m_shown)
        (onAmountAxis(q) ? amountTitles : readingTitles) << archive::chart::quantityName(q);
    m_readingAxis->setTitleText(readingTitles.join(u", "_s));
    m_amountAxis->setTitleText(amountTitles.join(u", "_s));
}

const std::vector<DrawPoint>& ArchiveChart::drawn(Quantity q) const
{
    return m_drawn[std::size_t(q)];
}

const std::vector<Band>& ArchiveChart::drawnBands(Mark mark) const
{
    return m_bands[std::size_t(mark)];
}

std::optional<std::size_t> ArchiveChart::slotAt(const QPointF& scenePos) const
{
    if (m_series.size() == 0 || !plotArea().contains(scenePos))
        return std::nullopt;
    const std::int64_t w = archive::chart::slotMs(m_series.step);
    // The point of an hourly slot is its closing stamp, of a daily one the day's start; a slot
    // owns the time up to half a slot either side of its point.
    const std::int64_t ms = sceneToMs(scenePos.x());
    const auto it = std::lower_bound(m_series.x.begin(), m_series.x.end(), ms - w / 2);
    if (it == m_series.x.end())
        return m_series.size() - 1;
    return std::size_t(it - m_series.x.begin());
}

QString ArchiveChart::slotStampText(std::size_t slot) const
{
    const QDateTime t = stampDateTime(m_series.x.at(slot));
    return m_series.step == Step::Daily ? t.toString(u"dd.MM.yyyy"_s) : t.toString(u"dd.MM.yyyy hh:mm"_s);
}

QString ArchiveChart::slotText(std::size_t slot) const
{
    if (slot >= m_series.size())
        return {};
    QStringList lines{ slotStampText(slot) };
    if (!m_series.present(slot)) {
        lines << u"нет записи"_s;
        return lines.join(u'\n');
    }
    for (Quantity q : m_shown) {
        const double v = m_series.values(q)[slot];
        const QString caption = archive::chart::quantityCaption(q, m_energyUnit);
        const QString value = std::isnan(v) ? u"нет данных"_s : QString::number(v, 'f', archive::chart::isAmount(q) ? 3 : 2);
        lines << caption + u": "_s + value;
    }
    const std::uint32_t error = m_series.error[slot];
    if (error != 0) {
        if (m_series.step == Step::Hourly)
            lines << u"Коды ошибок: "_s + archive::quality::errorMeaning(error, m_series.contour);
        else
            lines << u"Часов с ошибками: %1"_s.arg(error);
    }
    if (m_series.tmin[slot] != 0)
        lines << u"Tmin (G<Gmin): %1 мин"_s.arg(m_series.tmin[slot]);
    if (m_series.tmax[slot] != 0)
        lines << u"Tmax (G>Gmax): %1 мин"_s.arg(m_series.tmax[slot]);
    if (m_series.tdt[slot] != 0)
        lines << u"Tdt (dt<dtmin): %1 мин"_s.arg(m_series.tdt[slot]);
    return lines.join(u'\n');
}

} // namespace chartui
