#include <QApplication>
#include <QTest>

int runFrameTests(int argc, char** argv);
int runAccountDialogTests(int argc, char** argv);
int runDeviceListPrintTests(int argc, char** argv);
int runArchiveViewTests(int argc, char** argv);
int runReportViewTests(int argc, char** argv);
int runCfgReportViewTests(int argc, char** argv);
int runConParamsDlgTests(int argc, char** argv);
int runTimesetDlgTests(int argc, char** argv);
int runCommDlgTests(int argc, char** argv);
int runPollWindowTests(int argc, char** argv);
int runReportsAllDlgTests(int argc, char** argv);
int runChartViewTests(int argc, char** argv);

// One executable, several test classes, each with its own fixtures. LORN2_TEST_CLASS=TestUi (or
// another class name) runs one of them, so that test functions can be named on the command line.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    const struct
    {
        const char* name;
        int (*run)(int, char**);
    } suites[] = {
        {"TestUi", runFrameTests},
        {"TestAccountDialogs", runAccountDialogTests},
        {"TestDeviceListPrint", runDeviceListPrintTests},
        {"TestArchiveView", runArchiveViewTests},
        {"TestReportView", runReportViewTests},
        {"TestCfgReportView", runCfgReportViewTests},
        {"TestConParamsDlg", runConParamsDlgTests},
        {"TestTimesetDlg", runTimesetDlgTests},
        {"TestCommDlg", runCommDlgTests},
        {"TestPollWindow", runPollWindowTests},
        {"TestReportsAllDlg", runReportsAllDlgTests},
        {"TestChartView", runChartViewTests},
    };
    const QByteArray only = qgetenv("LORN2_TEST_CLASS");
    int failed = 0;
    for (const auto& suite : suites) {
        if (only.isEmpty() || only == suite.name)
            failed += suite.run(argc, argv);
    }
    return failed;
}
