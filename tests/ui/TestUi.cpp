#include <atomic>
#include <functional>
#include <thread>

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLocale>
#include <QScopeGuard>
#include <QSet>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/CLorn2App.h"
#include "app/CLorn2Doc.h"
#include "app/Commands.h"
#include "app/ProfileStore.h"
#include "app/DeviceListColumns.h"
#include "ui/CAboutDlg.h"
#include "ui/CDelTSFilesDlg.h"
#include "ui/CDevAccountDlg.h"
#include "ui/CLorn2View.h"
#include "ui/CMainFrame.h"
#include "ui/QtTranslations.h"
#include "ui/CParamDlg.h"
#include "ui/CSplashWindow.h"
#include "ui/DesktopFrontEnd.h"
#include "ui/LogFontConversion.h"
#include "ui/QtMessageBoxBackend.h"

using namespace Qt::Literals::StringLiterals;

using uitest::describeMenu;
using uitest::FrameFixture;
using uitest::onNextModal;

namespace {

void clickOk(QWidget& dialog)
{
    QAbstractButton* ok = uitest::buttonByText(dialog, u"ОК"_s);
    QVERIFY(ok != nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
}

bool fitsArea(const QString& family, int points, const QStringList& lines, QSize area, const QPaintDevice* device)
{
    const QFontMetrics metrics(CSplashWindow::makeFont(family, points), device);
    if (metrics.height() > area.height() / std::max<int>(lines.size(), 1))
        return false;
    for (const QString& line : lines) {
        if (metrics.horizontalAdvance(line) > area.width())
            return false;
    }
    return true;
}

} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { uitest::cancelModalScripts(); }
    void qtDialogsSpeakRussian();
    void paramDialogRefuses_data();
    void paramDialogRefuses();
    void paramDialogAccepts_data();
    void paramDialogAccepts();
    void pointsConversion_data();
    void pointsConversion();
    void parametersThroughDocument_data();
    void parametersThroughDocument();

    void menuCaptions();
    void commandStates_data();
    void commandStates();
    void diagnosticShortcut();
    void toolbarToggle();
    void viewSwitching_data();
    void viewSwitching();

    void deviceListSortsByHeading();
    void deviceListFromDocument();
    void deleteThroughDocument_data();
    void deleteThroughDocument();
    void doubleClickEditsRow();
    void addThroughMenu();
    void contextMenus_data();
    void contextMenus();
    void titleAndFileDialogs();
    void deviceListRemoveRow_data();
    void deviceListRemoveRow();

    void splashFontFitting();
    void splashVersionText_data();
    void splashVersionText();
    void aboutVersionText_data();
    void aboutVersionText();

    void fontFromLogFont_data();
    void fontFromLogFont();
    void fontBackToLogFont();

    void messageBoxFromWorkerThread_data();
    void messageBoxFromWorkerThread();

    void startUpAndExit();
};

// Qt's own dialogs and buttons follow the program's language.
void TestUi::qtDialogsSpeakRussian()
{
    QVERIFY(ui::installQtTranslations());
    // The other tests see Qt's own texts.
    const auto restore = qScopeGuard([] {
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    });
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Отмена"_s);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto buttons = dialog.findChildren<QPushButton*>();
    QVERIFY(std::any_of(buttons.begin(), buttons.end(), [](const QPushButton* b) { return b->text() == u"&Открыть"_s || b->text() == u"Открыть"_s; }));
}

void TestUi::paramDialogRefuses_data()
{
    QTest::addColumn<bool>("tabField");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString tabRange = u"Введите целое число от 0 до 65535."_s;
    const QString pointsRange = u"Введите целое число от 1 до 1638."_s;
    QTest::newRow("tab 70000") << true << u"70000"_s << tabRange;
    QTest::newRow("tab -1") << true << u"-1"_s << tabRange;
    QTest::newRow("tab abc") << true << u"abc"_s << tabRange;
    QTest::newRow("tab empty") << true << QString() << tabRange;
    QTest::newRow("tab 65536") << true << u"65536"_s << tabRange;
    QTest::newRow("tab 1.5") << true << u"1.5"_s << tabRange;
    QTest::newRow("points 0") << false << u"0"_s << pointsRange;
    QTest::newRow("points huge") << false << u"99999999999"_s << pointsRange;
}

void TestUi::paramDialogRefuses()
{
    QFETCH(bool, tabField);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    testsupport::MessageRecorder recorder;
    CParamDlg dialog(8, 10);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QLineEdit* edit = tabField ? dialog.tabSizeEdit() : dialog.fontPointsEdit();
    edit->setText(typed);
    clickOk(dialog);

    QCOMPARE(recorder->texts(), QStringList{message});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.tabSize(), 8);
    QCOMPARE(dialog.fontPoints(), 10);
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->selectedText(), typed);
}

void TestUi::paramDialogAccepts_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("points");
    QTest::addColumn<int>("tabSize");
    QTest::addColumn<int>("fontPoints");
    QTest::newRow("lowest") << u"0"_s << u"1"_s << 0 << 1;
    QTest::newRow("highest") << u"65535"_s << u"1638"_s << 65535 << 1638;
    QTest::newRow("blanks around") << u" 4 "_s << u"12 "_s << 4 << 12;
}

void TestUi::paramDialogAccepts()
{
    QFETCH(QString, tab);
    QFETCH(QString, points);
    QFETCH(int, tabSize);
    QFETCH(int, fontPoints);
    testsupport::MessageRecorder recorder;
    CParamDlg dialog(8, 10);
    dialog.show();
    dialog.tabSizeEdit()->setText(tab);
    dialog.fontPointsEdit()->setText(points);
    clickOk(dialog);

    QVERIFY(recorder->texts().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.tabSize(), tabSize);
    QCOMPARE(dialog.fontPoints(), fontPoints);
}

void TestUi::pointsConversion_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("heightBack");
    QTest::newRow("default font at 96") << -10 << 96 << 8 << -10;
    QTest::newRow("rounds up at 96") << -13 << 96 << 10 << -13;
    QTest::newRow("rounds down at 96") << -11 << 96 << 8 << -10;
    QTest::newRow("72 dpi is identity") << -12 << 72 << 12 << -12;
    QTest::newRow("120 dpi") << -16 << 120 << 10 << -16;
    QTest::newRow("144 dpi") << -20 << 144 << 10 << -20;
}

void TestUi::pointsConversion()
{
    QFETCH(int, height);
    QFETCH(int, dpi);
    QFETCH(int, points);
    QFETCH(int, heightBack);
    QCOMPARE(CLorn2Doc::pointsFromHeight(height, dpi), points);
    QCOMPARE(CLorn2Doc::heightFromPoints(points, dpi), heightBack);
}

void TestUi::parametersThroughDocument_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("ok") << true;
    QTest::newRow("cancel") << false;
}

void TestUi::parametersThroughDocument()
{
    QFETCH(bool, accept);
    testsupport::MessageRecorder recorder;
    FrameFixture f;
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    const int dpi = f.frame->viewLogPixelsY().value_or(0);
    QVERIFY(dpi > 0);

    QString shownTab;
    QString shownPoints;
    onNextModal<CParamDlg>(this, [&](CParamDlg& dialog) {
        shownTab = dialog.tabSizeEdit()->text();
        shownPoints = dialog.fontPointsEdit()->text();
        dialog.tabSizeEdit()->setText(u"4"_s);
        dialog.fontPointsEdit()->setText(u"12"_s);
        if (accept)
            clickOk(dialog);
        else
            dialog.reject();
    });
    f.frame->runCommand(cmd::Parameters);

    QCOMPARE(shownTab, u"8"_s);
    QCOMPARE(shownPoints, QString::number(CLorn2Doc::pointsFromHeight(-10, dpi)));
    QVERIFY(recorder->texts().isEmpty());
    const QStringList written = testsupport::iniSection(f.profile.path(), u"Settings"_s);
    if (accept) {
        QCOMPARE(f.document.m_tabSize, 4);
        QCOMPARE(f.document.m_viewFont.Height, CLorn2Doc::heightFromPoints(12, dpi));
        QVERIFY(written.contains(u"ReportTabSize=4"_s));
        QVERIFY(testsupport::iniSection(f.profile.path(), u"ReportViewFont"_s)
                    .contains(u"Height="_s + QString::number(CLorn2Doc::heightFromPoints(12, dpi))));
    } else {
        QCOMPARE(f.document.m_tabSize, 8);
        QCOMPARE(f.document.m_viewFont.Height, -10);
        QVERIFY(written.isEmpty());
    }
}

void TestUi::menuCaptions()
{
    FrameFixture f;
    QStringList titles;
    QStringList items;
    for (const QAction* action : f.frame->menuBar()->actions()) {
        titles << action->text();
        describeMenu(action->menu(), action->text(), items);
    }
    const QStringList expectedTitles{u"&Файл"_s,  u"&Теплосчётчики"_s, u"&Конфигурация ТС"_s, u"&Архивы"_s,
                                     u"&Отчёты"_s, u"&Сервис"_s,        u"&Вид"_s,             u"Сп&равка"_s};
    QCOMPARE(titles, expectedTitles);
    // Every menu opens from the keyboard, each with a letter of its own.
    QSet<QChar> mnemonics;
    for (const QString& title : titles) {
        const qsizetype amp = title.indexOf(u'&');
        QVERIFY(amp >= 0 && amp + 1 < title.size());
        mnemonics.insert(title[amp + 1].toLower());
    }
    QCOMPARE(mnemonics.size(), titles.size());

    const QStringList expectedItems{
        u"&Файл|Настройки печати...|57606"_s,
        u"&Файл|-"_s,
        u"&Файл|В&ыход|57665"_s,
        u"&Теплосчётчики|Добавить учётную запись...|32772"_s,
        u"&Теплосчётчики|Удалить учётную запись|32774"_s,
        u"&Теплосчётчики|Изменить учётную запись|>"_s,
        u"&Теплосчётчики/Изменить учётную запись|Параметры связи...|32777"_s,
        u"&Теплосчётчики/Изменить учётную запись|Поля записи...|32779"_s,
        u"&Теплосчётчики|-"_s,
        u"&Теплосчётчики|Печать списка учётных записей...|32781"_s,
        u"&Теплосчётчики|Экспортировать список приборов...|32783"_s,
        u"&Конфигурация ТС|Показать|32792"_s,
        u"&Конфигурация ТС|Загрузить|32791"_s,
        u"&Конфигурация ТС|Сохранить...|32789"_s,
        u"&Конфигурация ТС|-"_s,
        u"&Конфигурация ТС|Печать...|32790"_s,
        u"&Конфигурация ТС|Предварительный просмотр|32829"_s,
        u"&Архивы|Считать из ТС...|32798"_s,
        u"&Архивы|Создать отчёт из архива...|32799"_s,
        u"&Архивы|Показать|32823"_s,
        u"&Архивы|График|32903"_s,
        u"&Архивы|Проверка данных...|32904"_s,
        u"&Архивы|-"_s,
        u"&Архивы|Опросить все ТС...|32900"_s,
        u"&Архивы|Опросить выбранные ТС...|32901"_s,
        u"&Архивы|-"_s,
        u"&Архивы|Импорт из файла...|32800"_s,
        u"&Архивы|Экспорт в файл...|32801"_s,
        u"&Отчёты|Считать из ТС...|32802"_s,
        u"&Отчёты|Создать отчёт из архива...|32799"_s,
        u"&Отчёты|-"_s,
        u"&Отчёты|Загрузить из файла...|32809"_s,
        u"&Отчёты|Сохранить в файл...|32808"_s,
        u"&Отчёты|-"_s,
        u"&Отчёты|Печать...|32807"_s,
        u"&Отчёты|Предварительный просмотр|32830"_s,
        u"&Отчёты|-"_s,
        u"&Отчёты|Отчёты по всем ТС...|32902"_s,
        u"&Сервис|Установка времени ТС|32818"_s,
        u"&Сервис|-"_s,
        u"&Сервис|Параметры...|32827"_s,
        u"&Вид|&Панель инструментов|59392"_s,
        u"&Вид|&Строка состояния|59393"_s,
        u"Сп&равка|&О программе Lorn2...|57664"_s,
    };
    QCOMPARE(items, expectedItems);

    QCOMPARE(f.frame->commandAction(cmd::AddAccount)->shortcut(), QKeySequence(Qt::Key_Insert));
    // The font commands have no menu item; the toolbar carries them.
    QVERIFY(f.frame->commandAction(cmd::ViewFont) != nullptr);
    QVERIFY(f.frame->commandAction(cmd::PrintFont) != nullptr);
    QVERIFY(f.frame->commandAction(cmd::ViewFont)->isEnabled());
}

void TestUi::commandStates_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("rowSelected");
    QTest::addColumn<int>("expected"); // -1: whatever the document's rule says
    // The document decides its own commands; every menu and pop-up entry must follow it.
    for (int command : {cmd::EditConnection, cmd::ShowConfig, cmd::ReadConfig, cmd::SaveConfig, cmd::PrintConfig,
                        cmd::PreviewConfig, cmd::ReadArchive, cmd::CreateReport, cmd::ShowArchive,
                        cmd::ImportArchive, cmd::ExportArchive, cmd::ReadReport, cmd::LoadReport, cmd::SaveReport,
                        cmd::PrintReport, cmd::PreviewReport, cmd::SetClock, cmd::ExportDatabase}) {
        QTest::addRow("%d without a row", command) << command << false << -1;
        QTest::addRow("%d with a row", command) << command << true << -1;
    }
    for (int command : {cmd::Parameters, cmd::PrintSetup, cmd::Exit, cmd::About, cmd::ViewToolbar, cmd::ViewStatusBar,
                        cmd::PrintDeviceList, cmd::AddAccount, cmd::ExportDeviceList})
        QTest::addRow("%d without a row", command) << command << false << 1;
    for (int command : {cmd::DeleteAccount, cmd::EditAccountFields}) {
        QTest::addRow("%d without a row", command) << command << false << 0;
        QTest::addRow("%d with a row", command) << command << true << 1;
    }
}

void TestUi::commandStates()
{
    QFETCH(int, command);
    QFETCH(bool, rowSelected);
    QFETCH(int, expected);
    FrameFixture f({{1234, 1, u"Тепловая сеть"_s}});
    QCOMPARE(f.frame->selectedDeviceRow(), std::optional<int>());
    if (rowSelected)
        f.frame->deviceList()->selectRow(0);
    f.frame->refreshCommandStates();
    const bool enabled = expected < 0 ? f.document.isCommandEnabled(command) : expected == 1;
    QCOMPARE(f.frame->isCommandEnabled(command), enabled);
    if (QAction* action = f.frame->commandAction(command))
        QCOMPARE(action->isEnabled(), enabled);
    // Pop-up entries of the same command follow the same rule.
    for (QMenu* menu : {f.frame->deviceRowMenu(), f.frame->deviceListMenu()}) {
        for (const QAction* item : menu->findChildren<QAction*>()) {
            if (item->data().toInt() == command)
                QCOMPARE(item->isEnabled(), enabled);
        }
    }
}

void TestUi::diagnosticShortcut()
{
    testsupport::MessageRecorder recorder;
    FrameFixture f;
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
    QTest::keyClick(f.frame.get(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);

    const std::vector<MessageRequest> shown = recorder->shown();
    QCOMPARE(shown.size(), std::size_t(1));
    QCOMPARE(shown.front().text, u"WINVER: 0x0501"_s);
    QCOMPARE(shown.front().caption, u"Login admin"_s);
    QCOMPARE(shown.front().buttons, MbButtons::Ok);
}

void TestUi::toolbarToggle()
{
    FrameFixture f;
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    QAction* toolbar = f.frame->commandAction(cmd::ViewToolbar);
    QAction* status = f.frame->commandAction(cmd::ViewStatusBar);
    QVERIFY(toolbar->isChecked());
    QVERIFY(status->isChecked());

    toolbar->trigger();
    QVERIFY(f.frame->toolBar()->isHidden());
    QVERIFY(!toolbar->isChecked());
    status->trigger();
    QVERIFY(f.frame->statusBar()->isHidden());
    QVERIFY(!status->isChecked());

    toolbar->trigger();
    status->trigger();
    QVERIFY(!f.frame->toolBar()->isHidden());
    QVERIFY(!f.frame->statusBar()->isHidden());
    QVERIFY(toolbar->isChecked() && status->isChecked());

    QStringList buttons;
    for (const QAction* action : f.frame->toolBar()->actions()) {
        if (!action->isSeparator())
            buttons << QString::number(action->data().toInt());
    }
    QCOMPARE(buttons,
             (QStringList{u"32772"_s, u"32798"_s, u"32799"_s, u"32807"_s, u"32827"_s, u"32816"_s, u"32817"_s}));
}

void TestUi::viewSwitching_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("device list") << int(ViewKind::DeviceList);
    QTest::newRow("archive list, no account") << int(ViewKind::ArchiveList);
    QTest::newRow("report, not built") << int(ViewKind::Report);
    QTest::newRow("config report, not built") << int(ViewKind::ConfigReport);
}

void TestUi::viewSwitching()
{
    QFETCH(int, kind);
    FrameFixture f;
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
    QWidget* first = f.frame->centralWidget();
    QVERIFY(first != nullptr);

    f.frame->switchView(static_cast<ViewKind>(kind), 0);
    f.frame->switchView(static_cast<ViewKind>(kind), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(f.frame->activeView(), ViewKind::DeviceList);
    const QList<CLorn2View*> views = f.frame->findChildren<CLorn2View*>();
    QCOMPARE(views.size(), 1);
    QCOMPARE(f.frame->centralWidget(), static_cast<QWidget*>(views.first()));
    QCOMPARE(f.frame->view()->widget(), static_cast<QWidget*>(views.first()));
    QVERIFY(views.first()->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(views.first()));
    QVERIFY(f.frame->deviceList() == views.first());
}

// A click on a heading orders the view only: rows keep their numbers and item data, the
// document's rows stay where they were.
void TestUi::deviceListSortsByHeading()
{
    FrameFixture f({{7, 2, u"Школа"_s}, {1234, 1, u"Аптека"_s}, {500, 3, u"Больница"_s}});
    f.frame->switchView(ViewKind::DeviceList);
    CLorn2View* list = f.frame->deviceList();
    QVERIFY(list != nullptr);
    const auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < list->rowCount(); ++r)
            out << list->item(r, c)->text();
        return out;
    };
    const QStringList unsorted = column(4);
    QTest::mouseClick(list->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(list->horizontalHeader()->sectionViewportPosition(4) + 5, 5));
    QCOMPARE(column(4), (QStringList{u"Аптека"_s, u"Больница"_s, u"Школа"_s}));
    // The numbers and the accounts behind them went with their rows.
    for (int r = 0; r < 3; ++r) {
        const int place = list->item(r, 0)->text().toInt() - 1;
        QCOMPARE(list->visualRow(place), r);
        QCOMPARE(f.document.accounts()[std::size_t(list->rowAccount(place))].m_consumer, list->item(r, 4)->text());
        QCOMPARE(unsorted.at(place), list->item(r, 4)->text());
    }
    // Again: the other way round. Numbers sort as numbers.
    list->sortByColumn(4);
    QCOMPARE(column(4), (QStringList{u"Школа"_s, u"Больница"_s, u"Аптека"_s}));
    list->sortByColumn(0);
    QCOMPARE(column(0), (QStringList{u"1"_s, u"2"_s, u"3"_s}));

    // The row selected on the screen is the document's row it shows.
    list->sortByColumn(4);
    list->selectRow(0);
    const std::optional<int> selected = list->selectedRow();
    QVERIFY(selected.has_value());
    QCOMPARE(f.document.accounts()[std::size_t(list->rowAccount(*selected))].m_consumer, u"Аптека"_s);

    // Enter is "Поля записи...", Delete the deletion; the frame's dialogs are not wanted here.
    QObject::disconnect(list, &CLorn2View::rowActivated, f.frame.get(), nullptr);
    QObject::disconnect(list, &CLorn2View::deleteRequested, f.frame.get(), nullptr);
    QSignalSpy activated(list, &CLorn2View::rowActivated);
    QSignalSpy deleting(list, &CLorn2View::deleteRequested);
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.first().first().toInt(), *selected);
    QCOMPARE(deleting.count(), 1);

    // A cut cell offers its whole text.
    list->setColumnWidth(4, 20);
    QCOMPARE(list->cellToolTip(0, 4), list->item(0, 4)->text());
    QCOMPARE(list->cellToolTip(0, 0), QString());
}

void TestUi::deviceListFromDocument()
{
    // Loaded in folder-name order: Karna1_01234, then Velos2_00007.
    FrameFixture f({{7, 2, QString()}, {1234, 1, u"Тепловая сеть, корпус 2"_s}});
    f.document.accounts()[1].m_netAddress = 0xA7;
    f.document.accounts()[1].m_lastConnect = QDateTime(QDate(2024, 3, 5), QTime(10, 30));
    f.document.setLastSelectedRow(1);
    f.frame->switchView(ViewKind::DeviceList);
    const CLorn2View* list = f.frame->deviceList();
    QVERIFY(list != nullptr);

    QCOMPARE(f.frame->windowTitle(), u"Список приборов - Lorn2"_s);
    QCOMPARE(list->columnCount(), int(kDeviceListColumns.size()));
    for (int c = 0; c < list->columnCount(); ++c) {
        QCOMPARE(list->horizontalHeaderItem(c)->text(), deviceListCaption(c));
        // Sized to the contents, the heading included.
        QVERIFY(list->columnWidth(c) >= list->fontMetrics().horizontalAdvance(deviceListCaption(c)));
    }
    // One row at a time, whole rows, and rows stay in account order.
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!list->isSortingEnabled());
    QVERIFY(list->showGrid());

    QCOMPARE(list->rowCount(), 2);
    const QString date = QLocale::system().toString(QDate(2024, 3, 5), QLocale::ShortFormat);
    const QList<QStringList> expected{
        {u"1"_s, u"01234"_s, u"Карна-1"_s, QString(), u"Тепловая сеть, корпус 2"_s, QString(), QString(), QString(),
         QString(), u"00"_s},
        {u"2"_s, u"00007"_s, u"Велос-2"_s, date, QString(), QString(), QString(), QString(), QString(), u"A7"_s},
    };
    for (int r = 0; r < 2; ++r) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << list->item(r, c)->text();
        QCOMPARE(cells, expected[r]);
        QCOMPARE(list->rowAccount(r), r);
    }
    // The row the document remembered is selected again.
    QCOMPARE(f.frame->selectedDeviceRow(), std::optional<int>(1));

    // Selecting a row is remembered for the next fill.
    f.frame->deviceList()->selectRow(0);
    QCOMPARE(f.document.lastSelectedRow(), 0);
}

void TestUi::deleteThroughDocument_data()
{
    QTest::addColumn<int>("accounts");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("selectedAfter"); // -1: none
    QTest::newRow("last of two") << 2 << 1 << 0;
    QTest::newRow("first of two") << 2 << 0 << 0;
    QTest::newRow("only one") << 1 << 0 << -1;
}

void TestUi::deleteThroughDocument()
{
    QFETCH(int, accounts);
    QFETCH(int, deleted);
    QFETCH(int, selectedAfter);
    std::vector<FrameFixture::Account> made;
    for (int i = 0; i < accounts; ++i)
        made.push_back({100 + i, 2, QString()});
    testsupport::MessageRecorder recorder;
    FrameFixture f(made);
    const QString folder = f.document.accounts()[std::size_t(deleted)].m_folder;
    QVERIFY(QFileInfo(folder).isDir());
    f.frame->deviceList()->selectRow(deleted);

    recorder->setNextAnswer(MbAnswer::Yes);
    QString title;
    onNextModal<CDelTSFilesDlg>(this, [&](CDelTSFilesDlg& dialog) {
        title = dialog.windowTitle();
        QTest::mouseClick(dialog.deleteButton(), Qt::LeftButton);
    });
    f.frame->runCommand(cmd::DeleteAccount);

    QCOMPARE(title, u"Удаление файлов ТС"_s);
    QCOMPARE(recorder->texts(), QStringList{u"Вы уверены, что хотите удалить учётную запись ТС?"_s});
    QVERIFY(!QFileInfo::exists(folder));
    CLorn2View* list = f.frame->deviceList();
    QCOMPARE(list->rowCount(), accounts - 1);
    QCOMPARE(f.frame->selectedDeviceRow(),
             selectedAfter < 0 ? std::optional<int>() : std::optional<int>(selectedAfter));
    for (int r = 0; r < list->rowCount(); ++r) {
        QCOMPARE(list->item(r, 0)->text(), QString::number(r + 1));
        QVERIFY(list->rowAccount(r) != deleted);
    }
    // Without a row the delete and edit commands are off.
    QCOMPARE(f.frame->isCommandEnabled(cmd::DeleteAccount), selectedAfter >= 0);
}

void TestUi::doubleClickEditsRow()
{
    testsupport::MessageRecorder recorder;
    FrameFixture f({{1234, 1, u"Старое имя"_s}, {555, 2, QString()}});
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    CLorn2View* list = f.frame->deviceList();

    bool serialLocked = false;
    bool typeLocked = false;
    onNextModal<CDevAccountDlg>(this, [&](CDevAccountDlg& dialog) {
        serialLocked = !dialog.serialEdit()->isEnabled();
        typeLocked = !dialog.typeBox()->isEnabled();
        dialog.consumerEdit()->setText(u"Новое имя"_s);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    });
    const QRect cell = list->visualRect(list->model()->index(1, 4));
    // QTest's double click lacks the first press that item views pair it with.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());

    QVERIFY(serialLocked && typeLocked);
    QCOMPARE(recorder->texts(), QStringList());
    QCOMPARE(list->item(1, 4)->text(), u"Новое имя"_s);
    QCOMPARE(list->item(0, 4)->text(), u"Старое имя"_s);
    const CDevData& edited = f.document.accounts()[1];
    QCOMPARE(edited.m_consumer, u"Новое имя"_s);
    QVERIFY(QString::fromUtf8(testsupport::readFile(edited.m_folder + u"/00555.xml"_s)).contains(u"Новое имя"_s));
}

void TestUi::addThroughMenu()
{
    testsupport::MessageRecorder recorder;
    FrameFixture f({{1234, 1, QString()}});
    bool serialOpen = false;
    onNextModal<CDevAccountDlg>(this, [&](CDevAccountDlg& dialog) {
        serialOpen = dialog.serialEdit()->isEnabled() && dialog.typeBox()->isEnabled();
        dialog.serialEdit()->setText(u"4321"_s);
        dialog.typeBox()->setCurrentIndex(1);
        dialog.netAddressEdit()->setText(u"1f"_s);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    });
    f.frame->deviceListMenu()->actions().first()->trigger();

    QVERIFY(serialOpen);
    QCOMPARE(recorder->texts(), QStringList());
    CLorn2View* list = f.frame->deviceList();
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(f.frame->selectedDeviceRow(), std::optional<int>(1));
    QCOMPARE(list->item(1, 1)->text(), u"04321"_s);
    QCOMPARE(list->item(1, 2)->text(), u"Велос-2"_s);
    QCOMPARE(list->item(1, 9)->text(), u"1F"_s);
    QVERIFY(QFileInfo(f.dir.filePath(u"Devices/Velos2_04321/04321.xml"_s)).isFile());
}

void TestUi::contextMenus_data()
{
    QTest::addColumn<bool>("onRow");
    QTest::newRow("on a row") << true;
    QTest::newRow("on empty space") << false;
}

void TestUi::contextMenus()
{
    QFETCH(bool, onRow);
    FrameFixture f({{1234, 1, QString()}, {555, 2, QString()}});
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
    CLorn2View* list = f.frame->deviceList();
    const QPoint at = onRow ? list->visualRect(list->model()->index(1, 2)).center()
                            : QPoint(10, list->viewport()->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);

    QMenu* shown = onRow ? f.frame->deviceRowMenu() : f.frame->deviceListMenu();
    QMenu* other = onRow ? f.frame->deviceListMenu() : f.frame->deviceRowMenu();
    QVERIFY(QTest::qWaitFor([&] { return shown->isVisible(); }));
    QVERIFY(!other->isVisible());
    // A right click on a row selects it first, so the menu acts on that row.
    QCOMPARE(f.frame->selectedDeviceRow(), onRow ? std::optional<int>(1) : std::optional<int>());

    QStringList items;
    describeMenu(shown, u"menu"_s, items);
    const QStringList expected = onRow ? QStringList{
        u"menu|Считать архив из ТС...|32798"_s,
        u"menu|Создать отчёт из архива...|32799"_s,
        u"menu|Считать отчёт из ТС...|32802"_s,
        u"menu|Опросить выбранные ТС...|32901"_s,
        u"menu|Опросить все ТС...|32900"_s,
        u"menu|-"_s,
        u"menu|Показать архив|32823"_s,
        u"menu|График|32903"_s,
        u"menu|Проверка данных...|32904"_s,
        u"menu|Показать конфигурацию ТС|32792"_s,
        u"menu|-"_s,
        u"menu|Изменить учётную запись|>"_s,
        u"menu/Изменить учётную запись|Параметры связи...|32777"_s,
        u"menu/Изменить учётную запись|Поля записи...|32779"_s,
        u"menu|Добавить учётную запись...|32772"_s,
        u"menu|-"_s,
        u"menu|Экспортровать сут. и мес. архивы|32834"_s,
    } : QStringList{u"menu|Добавить учётную запись...|32772"_s};
    QCOMPARE(items, expected);
    // Each entry follows the document's rule for its command.
    for (const QAction* action : shown->findChildren<QAction*>()) {
        if (action->data().toInt() != 0)
            QCOMPARE(action->isEnabled(), f.document.isCommandEnabled(action->data().toInt()));
    }
    shown->close();
}

void TestUi::titleAndFileDialogs()
{
    FrameFixture f;
    f.frame->setTitle(u"Архив"_s);
    QCOMPARE(f.frame->windowTitle(), u"Архив - Lorn2"_s);
    QCOMPARE(f.frame->documentTitle(), u"Архив"_s);

    // The export command's dialog, answered by the script: the default extension is added.
    testsupport::MessageRecorder recorder;
    FileDialog::setNextFileName(f.dir.filePath(u"список"_s));
    f.frame->runCommand(cmd::ExportDeviceList);
    QVERIFY(QFileInfo(f.dir.filePath(u"список.csv"_s)).isFile());
    const std::optional<FileDialogSpec> asked = FileDialog::lastRequest();
    QVERIFY(asked.has_value());
    QCOMPARE(asked->defaultName, u"devices"_s);
    QCOMPARE(asked->defaultExtension, u"csv"_s);
    QVERIFY(recorder->texts().isEmpty());

    FileDialog::setNextFileName(QString());
    QCOMPARE(f.frame->getOpenFileName(FileDialogSpec{}), QString());
}

void TestUi::deviceListRemoveRow_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selectedAfter"); // -1: none
    QTest::newRow("first of three") << 3 << 0 << 0;
    QTest::newRow("middle of three") << 3 << 1 << 1;
    QTest::newRow("last of three") << 3 << 2 << 1;
    QTest::newRow("only row") << 1 << 0 << -1;
}

void TestUi::deviceListRemoveRow()
{
    QFETCH(int, rows);
    QFETCH(int, removed);
    QFETCH(int, selectedAfter);
    FrameFixture f;
    CLorn2View* list = f.frame->deviceList();
    // Account indexes that differ from row numbers, as after deletions earlier in the run.
    for (int r = 0; r < rows; ++r)
        list->addRow({QString::asprintf("%05d", 100 + r), u"Карна-1"_s}, 10 + r, r == removed);
    QCOMPARE(f.frame->selectedDeviceRow(), std::optional<int>(removed));
    QCOMPARE(f.frame->deviceRowAccount(removed), 10 + removed);

    QVERIFY(!list->removeRow(rows));
    QVERIFY(!list->removeRow(-1));
    QVERIFY(list->removeRow(removed));

    QCOMPARE(list->rowCount(), rows - 1);
    QCOMPARE(list->selectedRow(), selectedAfter < 0 ? std::optional<int>() : std::optional<int>(selectedAfter));
    int account = 10;
    for (int r = 0; r < list->rowCount(); ++r, ++account) {
        if (account == 10 + removed)
            ++account;
        QCOMPARE(list->item(r, 0)->text(), QString::number(r + 1));
        QCOMPARE(list->rowAccount(r), account);
        QCOMPARE(list->item(r, 1)->text(), QString::asprintf("%05d", 100 + account - 10));
    }
    QCOMPARE(list->rowAccount(list->rowCount()), -1);
}

void TestUi::splashFontFitting()
{
    CSplashWindow splash(u"Чтение базы данных теплосчётчиков..."_s);
    QCOMPARE(splash.size(), QSize(400, 300));
    const struct
    {
        QString family;
        int points;
        QStringList lines;
        QSize area;
    } fits[] = {
        {CSplashWindow::kTitleFamily, splash.titlePointSize(), {splash.productName()}, splash.titleFitArea()},
        {CSplashWindow::kTextFamily, splash.linesPointSize(), splash.infoLines(), splash.linesFitArea()},
        {CSplashWindow::kTextFamily, splash.statusPointSize(), {splash.statusText()}, splash.statusFitArea()},
    };
    for (const auto& fit : fits) {
        QVERIFY2(fit.points >= 8, qPrintable(fit.lines.join(u'|')));
        QVERIFY2(fitsArea(fit.family, fit.points, fit.lines, fit.area, &splash), qPrintable(fit.lines.join(u'|')));
        // The largest such size: two points more no longer fits.
        QVERIFY2(!fitsArea(fit.family, fit.points + 2, fit.lines, fit.area, &splash), qPrintable(fit.lines.join(u'|')));
    }
    QCOMPARE(splash.infoLines().size(), 4);
    QVERIFY(splash.lineBox(3).bottom() < splash.statusBox().top());

    // Fitted once: a later, longer status keeps the size.
    const int statusPoints = splash.statusPointSize();
    splash.setStatusText(u"Другой, гораздо более длинный текст состояния запуска программы"_s);
    QCOMPARE(splash.statusPointSize(), statusPoints);

    // A line too wide even at 8 points still ends the search.
    const QString wide(400, u'W');
    QCOMPARE(CSplashWindow::fitPointSize(CSplashWindow::kTextFamily, {wide}, QSize(100, 20), &splash), 6);
}

void TestUi::splashVersionText_data()
{
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QString>("text");
    QTest::newRow("full") << QList<int>{1, 2, 3, 4} << u"Version 1.2.3.4"_s;
    QTest::newRow("inner zeros kept") << QList<int>{1, 0, 0, 0} << u"Version 1.0.0.0"_s;
    QTest::newRow("leading zeros left out") << QList<int>{0, 0, 1, 5} << u"Version 1.5"_s;
    QTest::newRow("all zero") << QList<int>{0, 0, 0, 0} << u"Version 0"_s;
}

void TestUi::splashVersionText()
{
    QFETCH(QList<int>, numbers);
    QFETCH(QString, text);
    QCOMPARE(CSplashWindow::versionText(numbers[0], numbers[1], numbers[2], numbers[3]), text);
}

void TestUi::aboutVersionText_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("known") << u"1.0.0.0"_s << u"Версия: 1.0.0.0"_s;
    QTest::newRow("unknown") << QString() << u"0.0.0.0"_s;
}

void TestUi::aboutVersionText()
{
    QFETCH(QString, version);
    QFETCH(QString, text);
    QCOMPARE(CAboutDlg::versionText(version), text);
    CAboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), u"О проекте Lorn2"_s);
    QVERIFY(dialog.versionLabelText().startsWith(u"Версия: "_s));
    const auto labels = dialog.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(),
                        [](const QLabel* l) { return l->text().contains(u"GPL-3.0-or-later"_s); }));
}

void TestUi::fontFromLogFont_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("weight");
    QTest::addColumn<bool>("decorated");
    QTest::addColumn<bool>("faceKept");
    // A real family, not a generic name such as "Sans Serif".
    const QString installed = QFontDatabase::families().value(0);
    QTest::newRow("installed face, negative height") << installed << -13 << 700 << true << true;
    QTest::newRow("installed face, positive height") << installed << 15 << 400 << false << true;
    QTest::newRow("missing face") << u"No Such Face 4711"_s << -10 << 0 << false << false;
}

void TestUi::fontFromLogFont()
{
    QFETCH(QString, face);
    QFETCH(int, height);
    QFETCH(int, weight);
    QFETCH(bool, decorated);
    QFETCH(bool, faceKept);
    LogFont lf;
    lf.setFaceName(face);
    lf.Height = height;
    lf.Weight = weight;
    lf.Italic = lf.Underline = lf.StrikeOut = decorated ? 1 : 0;

    const QFont font = ui::fontFromLogFont(lf);
    QCOMPARE(font.pixelSize(), std::abs(height));
    QCOMPARE(font.weight(), weight == 0 ? QFont::Normal : QFont::Weight(weight));
    QCOMPARE(font.italic(), decorated);
    QCOMPARE(font.underline(), decorated);
    QCOMPARE(font.strikeOut(), decorated);
    QVERIFY(font.fixedPitch());
    QCOMPARE(font.family(), faceKept ? face : QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
}

void TestUi::fontBackToLogFont()
{
    LogFont lf;
    lf.CharSet = 204;
    lf.Escapement = 7;
    QFont chosen(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    chosen.setFamily(u"A Face Name Longer Than Thirty-One Characters"_s);
    chosen.setPointSize(12);
    chosen.setWeight(QFont::Bold);
    chosen.setItalic(true);
    ui::applyFontToLogFont(chosen, 96, lf);
    QCOMPARE(lf.Height, -16);
    QCOMPARE(lf.Weight, 700);
    QCOMPARE(lf.Italic, std::uint8_t(1));
    QCOMPARE(lf.Underline, std::uint8_t(0));
    QCOMPARE(lf.FaceName, u"A Face Name Longer Than Thirty-"_s);
    QCOMPARE(lf.FaceName.size(), LogFont::kFaceNameMax);
    // What a font dialog does not choose stays.
    QCOMPARE(lf.CharSet, std::uint8_t(204));
    QCOMPARE(lf.Escapement, 7);
    QCOMPARE(lf.PitchAndFamily & 0xF0, 0x30);

    QFont byPixels(u"Any"_s);
    byPixels.setPixelSize(11);
    ui::applyFontToLogFont(byPixels, 120, lf);
    QCOMPARE(lf.Height, -11);
}

void TestUi::messageBoxFromWorkerThread_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("answer");
    QTest::newRow("yes/no, no") << int(MbButtons::YesNo) << QStringList{u"Да"_s, u"Нет"_s} << u"Нет"_s
                                << int(MbAnswer::No);
    QTest::newRow("retry/cancel, retry") << int(MbButtons::RetryCancel) << QStringList{u"Повтор"_s, u"Отмена"_s}
                                         << u"Повтор"_s << int(MbAnswer::Retry);
    QTest::newRow("ok") << int(MbButtons::Ok) << QStringList{u"ОК"_s} << u"ОК"_s << int(MbAnswer::Ok);
}

void TestUi::messageBoxFromWorkerThread()
{
    QFETCH(int, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QString, click);
    QFETCH(int, answer);
    QtMessageBoxBackend backend;
    // The box runs its own loop inside whatever loop delivers the queued call, so it is
    // inspected and answered from a timer.
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList shown;
    onNextModal<QMessageBox>(this, [&](QMessageBox& box) {
        text = box.text();
        caption = box.windowTitle();
        icon = box.icon();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* button : box.buttons()) {
            shown << button->text();
            if (button->text() == click)
                target = button;
        }
        if (target != nullptr)
            QTest::mouseClick(target, Qt::LeftButton);
        else
            box.reject();
    });

    MbAnswer got = MbAnswer::Cancel;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        got = backend.show({u"Порт занят"_s, QString(), MbIcon::Question, static_cast<MbButtons>(buttons)});
        done = true;
    });
    const bool answered = QTest::qWaitFor([&] { return done.load(); }, 10000);
    worker.join();
    QVERIFY(answered);

    QCOMPARE(text, u"Порт занят"_s);
    QCOMPARE(caption, u"Lorn2"_s);
    QCOMPARE(icon, QMessageBox::Question);
    shown.sort();
    texts.sort();
    QCOMPARE(shown, texts);
    QCOMPARE(got, static_cast<MbAnswer>(answer));
}

void TestUi::startUpAndExit()
{
    testsupport::MessageRecorder recorder;
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

    CDevData existing;
    existing.m_serial = 42;
    existing.m_type = 1;
    std::vector<CDevData> made;
    QCOMPARE(accounts::addAccount(made, existing, dir.path()), S_OK);

    CLorn2App app(AppOptions{false, QString(), u"lorn2"_s});
    DesktopFrontEnd frontEnd;
    QVERIFY(app.InitInstance({}, frontEnd));
    QVERIFY(frontEnd.splash() == nullptr);
    CMainFrame* frame = frontEnd.frame();
    QVERIFY(frame != nullptr);
    QVERIFY(frame->isVisible());
    QVERIFY(frame->windowState().testFlag(Qt::WindowMaximized));
    QCOMPARE(app.document()->shell(), static_cast<Shell*>(frame));
    QCOMPARE(frame->activeView(), ViewKind::DeviceList);
    // The first view was filled from the accounts found at start-up.
    QCOMPARE(frame->windowTitle(), u"Список приборов - Lorn2"_s);
    QCOMPARE(frame->deviceList()->rowCount(), 1);
    QCOMPARE(frame->deviceList()->item(0, 1)->text(), u"00042"_s);

    frame->runCommand(cmd::Exit);
    QVERIFY(!frame->isVisible());
    frontEnd.destroyFrame();
    QVERIFY(app.document()->shell() == nullptr);
    app.ExitInstance();
    // The document wrote its connection defaults on the way down.
    QVERIFY(!testsupport::iniSection(dir.filePath(u"lorn2.ini"_s), u"COM4NEWACC"_s).isEmpty());
}

int runFrameTests(int argc, char** argv)
{
    TestUi tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TestUi.moc"
