#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QString>

#include "archive/ReportColumns.h"

class CDevData;
class CLorn2Doc;

// The reports of many accounts in one run, as month-end needs them: one ".tsr" file per account
// in one folder, each built as "Создать отчёт из архива..." builds it. Nothing is asked and no
// message box is shown: what the builder or a writer would show becomes the account's result
// text. The document's own report, its views and its modified flag stay as they are.
namespace reportbatch {

struct Request
{
    archive::ReportKind kind = archive::ReportKind::Daily;
    int contour = 0; // 0-based
    QDate first;
    QDate last; // an hourly report's day is `first`; `last` is then ignored
    QString folder; // made when missing
};

struct Item
{
    enum class State { Written, Skipped, Failed };

    int account = -1; // the caller's index
    QString name; // "Karna1_01234"
    State state = State::Failed;
    QString path; // the report file, when it was written
    QString pdfPath; // the PDF beside it, when one was written
    QString message; // why the account was skipped or failed
};

struct Result
{
    std::vector<Item> items;
    // Set when the folder could not be made; nothing was tried then.
    QString error;
    bool stopped = false; // the progress callback asked to stop

    int count(Item::State state) const;
};

struct Options
{
    // Writes the PDF of a built report to `path`; false when it failed. Drawing lives above
    // this folder, so the caller brings it.
    std::function<bool(const CDevData& account, const QByteArray& report, const QString& path)> pdf;
    // Before each account: how many are done, of how many. False stops the run.
    std::function<bool(int done, int total, const CDevData& account)> progress;
    // After each account.
    std::function<void(const Item& item)> finished;
};

// "Karna1_01234_2015-02-01_2015-02-28.tsr"; an hourly report's day is both dates.
QString fileName(const CDevData& account, const Request& request);

// Deleted accounts among `accounts` are left out.
Result run(CLorn2Doc& document, const std::vector<int>& accounts, const Request& request, const Options& options = {});

} // namespace reportbatch
