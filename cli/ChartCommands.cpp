#include "ChartCommands.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include "AccountOptions.h"
#include "CliShell.h"
#include "JsonOutput.h"
#include "OutputTarget.h"
#include "app/CLorn2Doc.h"
#include "archive/ChartSeries.h"
#include "archive/DataQuality.h"
#include "base/MessageBox.h"
#include "base/StringTable.h"
#include "ui/chart/ArchiveChart.h"
#include "ui/chart/ChartFile.h"

using namespace Qt::Literals::StringLiterals;
using archive::chart::Quantity;

namespace {

const QString kDefaultSeries = u"Q,t1,t2"_s;

void addPeriodOptions(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(u"from"_s, u"First day (default: the archive's first)."_s, u"DATE"_s));
    parser.addOption(QCommandLineOption(u"to"_s, u"Last day (default: the archive's last)."_s, u"DATE"_s));
}

std::optional<std::vector<Quantity>> seriesList(const QString& text, QString* bad)
{
    std::vector<Quantity> out;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const auto q = archive::chart::quantityFromName(part.trimmed());
        if (!q) {
            *bad = part;
            return std::nullopt;
        }
        if (std::find(out.begin(), out.end(), *q) == out.end())
            out.push_back(*q);
    }
    if (out.empty()) {
        *bad = text;
        return std::nullopt;
    }
    return out;
}

std::optional<QSize> sizeOption(const QString& text)
{
    const QStringList parts = text.split(u'x');
    if (parts.size() != 2)
        return std::nullopt;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 320 || h < 200 || w > 10000 || h > 10000)
        return std::nullopt;
    return QSize(w, h);
}

QString isoStamp(const QDateTime& t)
{
    return t.isValid() ? t.toString(u"yyyy-MM-ddTHH:mm:ss"_s) : QString();
}

QJsonArray perContour(const std::array<qint64, 3>& v, int contours)
{
    QJsonArray a;
    for (int c = 0; c < contours; ++c)
        a.append(double(v[std::size_t(c)]));
    return a;
}

int contourCount(const CDevData& acc)
{
    return std::clamp<int>(acc.m_arcParams.NumSys, 1, 3);
}

} // namespace

void ChartCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    addPeriodOptions(parser);
    parser.addOption(QCommandLineOption(u"daily"_s, u"One point a day instead of one an hour."_s));
    parser.addOption(QCommandLineOption(u"contour"_s, u"The contour, 1 to 3 (default 1)."_s, u"C"_s));
    parser.addOption(QCommandLineOption(u"series"_s, u"What to draw, of Q,M1,M2,t1,t2,dt,p1,p2 (default Q,t1,t2)."_s,
                                        u"LIST"_s));
    parser.addOption(QCommandLineOption(u"size"_s, u"The picture's size in pixels (default 1200x700)."_s, u"WxH"_s));
    parser.addOption(QCommandLineOption(u"format"_s, u"png, svg or pdf (default: by the file's extension; png for -)."_s,
                                        u"FORMAT"_s));
    parser.addOption(QCommandLineOption(QStringList{ u"o"_s, u"output"_s }, u"The file to write, - for standard output."_s,
                                        u"FILE"_s));
}

bool ChartCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    if (!cliopts::checkPeriod(parser, error))
        return false;
    if (!parser.isSet(u"output"_s) || parser.value(u"output"_s).isEmpty()) {
        *error = u"-o FILE is required"_s;
        return false;
    }
    if (parser.isSet(u"contour"_s)) {
        bool ok = false;
        const int c = parser.value(u"contour"_s).toInt(&ok);
        if (!ok || c < 1 || c > 3) {
            *error = u"--contour: 1, 2 or 3 expected"_s;
            return false;
        }
    }
    QString bad;
    if (!seriesList(parser.isSet(u"series"_s) ? parser.value(u"series"_s) : kDefaultSeries, &bad)) {
        *error = u"--series: unknown series \"%1\" (Q, M1, M2, t1, t2, dt, p1, p2)"_s.arg(bad);
        return false;
    }
    if (parser.isSet(u"size"_s) && !sizeOption(parser.value(u"size"_s))) {
        *error = u"--size: WxH from 320x200 to 10000x10000 expected"_s;
        return false;
    }
    const QString file = parser.value(u"output"_s);
    const QString format = parser.value(u"format"_s);
    if (parser.isSet(u"format"_s) && !chartui::chartFormatOf(u"x."_s + format)) {
        *error = u"--format: png, svg or pdf expected"_s;
        return false;
    }
    if (!parser.isSet(u"format"_s) && file != u"-"_s && !chartui::chartFormatOf(file)) {
        *error = u"%1: the file name must end in .png, .svg or .pdf"_s.arg(file);
        return false;
    }
    return true;
}

int ChartCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell&, const QCommandLineParser& parser,
                                      CliStreams& io)
{
    const std::optional<int> index = cliopts::findAccount(doc, parser.positionalArguments().at(0), parser);
    if (!index)
        return cliexit::Failed;
    CDevData& acc = doc.accounts()[std::size_t(*index)];
    doc.m_currentAccount = *index;
    if (acc.m_records.isEmpty() && FAILED(acc.LoadArchive())) {
        MessageBox::error(LoadResString(119, u"Failed to load archive"_s));
        return cliexit::Failed;
    }
    acc.m_records.sort();
    const int contour = parser.isSet(u"contour"_s) ? parser.value(u"contour"_s).toInt() - 1 : 0;
    if (contour >= contourCount(acc)) {
        MessageBox::error(u"У ТС %1 нет контура %2"_s.arg(acc.m_serial, 5, 10, QChar(u'0')).arg(contour + 1));
        return cliexit::Failed;
    }
    archive::chart::Request request;
    request.contour = contour;
    request.step = parser.isSet(u"daily"_s) ? archive::chart::Step::Daily : archive::chart::Step::Hourly;
    request.from = parser.isSet(u"from"_s) ? cliopts::parseDate(parser.value(u"from"_s)) : QDate();
    request.to = parser.isSet(u"to"_s) ? cliopts::parseDate(parser.value(u"to"_s)) : QDate();
    request.now = QDateTime::currentDateTime();
    archive::chart::Series series = archive::chart::build(acc.m_records.records(), request);
    if (series.size() == 0 || series.missingCount() == series.size()) {
        MessageBox::error(LoadResString(158, u"No archive data"_s));
        return cliexit::Failed;
    }
    QString bad;
    const std::vector<Quantity> shown = *seriesList(parser.isSet(u"series"_s) ? parser.value(u"series"_s) : kDefaultSeries, &bad);
    const QString file = parser.value(u"output"_s);
    const chartui::ChartFormat format = parser.isSet(u"format"_s) ? *chartui::chartFormatOf(u"x."_s + parser.value(u"format"_s))
                                        : file == u"-"_s               ? chartui::ChartFormat::Png
                                                                       : *chartui::chartFormatOf(file);
    static const char* const suffixes[] = { ".png", ".svg", ".pdf" };

    chartui::OffscreenChart offscreen(parser.isSet(u"size"_s) ? *sizeOption(parser.value(u"size"_s)) : QSize(1200, 700));
    chartui::ArchiveChart& chart = offscreen.chart();
    const QString title = u"%1 %2, контур %3: %4 – %5"_s.arg(acc.typeName())
                              .arg(acc.m_serial, 5, 10, QChar(u'0'))
                              .arg(contour + 1)
                              .arg(series.from.toString(u"dd.MM.yyyy"_s), series.to.toString(u"dd.MM.yyyy"_s));
    chart.setTitle(title);
    chart.setSeries(std::move(series), archive::EnergyUnitName(acc.m_arcParams.EnergyUnits));
    chart.setShown(shown);
    offscreen.layout();

    const OutputTarget target(file, QString::fromLatin1(suffixes[int(format)]));
    QFile out(target.path());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        MessageBox::error(u"%1: %2"_s.arg(file, out.errorString()));
        return cliexit::Failed;
    }
    QString error;
    const bool ok = chartui::writeChart(chart, out, format, title, &error);
    out.close();
    if (!ok)
        MessageBox::error(u"%1: %2"_s.arg(file, error));
    return target.finish(ok, io) ? cliexit::Ok : cliexit::Failed;
}

void QualityCommand::addOptions(QCommandLineParser& parser) const
{
    cliopts::addTypeOption(parser);
    parser.addOption(QCommandLineOption(u"all"_s, u"Check every account."_s));
    addPeriodOptions(parser);
    clijson::addOption(parser);
}

bool QualityCommand::checkArguments(const QCommandLineParser& parser, QString* error) const
{
    return cliopts::checkAccountChoice(parser, error) && cliopts::checkPeriod(parser, error);
}

int QualityCommand::executeWithDocument(CLorn2App&, CLorn2Doc& doc, CliShell& shell, const QCommandLineParser& parser,
                                        CliStreams& io)
{
    const std::optional<std::vector<int>> chosen = cliopts::chosenAccounts(doc, shell.rows(), parser);
    if (!chosen)
        return cliexit::Failed;
    archive::quality::Period period;
    period.from = parser.isSet(u"from"_s) ? cliopts::parseDate(parser.value(u"from"_s)) : QDate();
    period.to = parser.isSet(u"to"_s) ? cliopts::parseDate(parser.value(u"to"_s)) : QDate();
    period.now = QDateTime::currentDateTime();
    const bool json = clijson::wanted(parser, io);

    int status = cliexit::Ok;
    QJsonArray documents;
    bool first = true;
    for (const int index : *chosen) {
        CDevData* acc = doc.account(index);
        if (acc == nullptr || acc->m_deleted)
            continue;
        const QString serial = u"%1"_s.arg(acc->m_serial, 5, 10, QChar(u'0'));
        // An account never read has no archive file: nothing to check, nothing failed.
        if (acc->m_records.isEmpty() && QFile::exists(acc->archiveFilePath()) && FAILED(acc->LoadArchive())) {
            MessageBox::error(serial + u": "_s + LoadResString(119, u"Failed to load archive"_s));
            status = cliexit::Failed;
            continue;
        }
        const int contours = contourCount(*acc);
        const archive::quality::Report r = archive::quality::check(acc->m_records.records(), period, contours);
        if (json) {
            QJsonObject o;
            o.insert(u"serial"_s, acc->m_serial);
            o.insert(u"type"_s, acc->typeName());
            o.insert(u"from"_s, isoStamp(r.from));
            o.insert(u"to"_s, isoStamp(r.to));
            o.insert(u"expectedHours"_s, double(r.expectedHours));
            o.insert(u"presentHours"_s, double(r.presentHours));
            o.insert(u"missingHours"_s, double(r.missingHours));
            QJsonArray gaps;
            for (const auto& [a, b] : r.gaps)
                gaps.append(QJsonArray{ isoStamp(a), isoStamp(b) });
            o.insert(u"gaps"_s, gaps);
            o.insert(u"errorHours"_s, perContour(r.errorHours, contours));
            o.insert(u"tminMinutes"_s, perContour(r.tminMinutes, contours));
            o.insert(u"tmaxMinutes"_s, perContour(r.tmaxMinutes, contours));
            o.insert(u"tdtMinutes"_s, perContour(r.tdtMinutes, contours));
            o.insert(u"backwards"_s, double(r.backwards));
            o.insert(u"duplicates"_s, double(r.duplicates));
            o.insert(u"clockJumps"_s, double(r.clockJumps));
            QJsonArray terr;
            for (const archive::quality::Finding& f : r.findings) {
                if (f.kind == archive::quality::Finding::Kind::NegativeTerr)
                    terr.append(QJsonObject{ { u"day"_s, f.first.date().toString(Qt::ISODate) },
                                             { u"contour"_s, f.contour + 1 },
                                             { u"hours"_s, f.value } });
            }
            o.insert(u"negativeTerr"_s, terr);
            o.insert(u"problems"_s, double(r.problemCount()));
            o.insert(u"findings"_s, QJsonArray::fromStringList(archive::quality::reportLines(r).mid(1)));
            documents.append(o);
        } else {
            if (!first)
                io.out << u'\n';
            first = false;
            io.out << serial << u' ' << acc->typeName() << u'\n';
            for (const QString& line : archive::quality::reportLines(r))
                io.out << line << u'\n';
        }
    }
    if (json)
        clijson::write(io, QJsonDocument(documents));
    return status;
}
