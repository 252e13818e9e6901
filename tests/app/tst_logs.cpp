#include "app/errors.h"
#include "app/global_settings.h"
#include "app/program_info.h"
#include "app/run_log.h"
#include "support/scripted_operator.h"
#include "support/test_program.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

class TestLogs : public QObject {
    Q_OBJECT

private slots:
    void runLogLineBytes();
    void errorRecordBytes();
    void writeLogAppends();
    void writeLogUnwritableGoesToErrorLog();
    void reportErrorShowsBoxAndRecord();
    void reportErrorWithUnwritableErrorLogStillShowsBox();
    void reportErrorResultAnswersOk();
    void logErrorIsSilent();
    void guardedRoutesFailuresToReporter();
    void trimBoundary_data();
    void trimBoundary();
};

namespace {
const QDateTime kWhen(QDate(2016, 11, 25), QTime(9, 5, 7));
}

void TestLogs::runLogLineBytes() {
    QCOMPARE(runLogLine(kWhen, QStringLiteral("程式啟動.")).toUtf8(),
             QStringLiteral("2016-11-25 09:05:07 => 程式啟動.\r\n").toUtf8());
}

void TestLogs::errorRecordBytes() {
    const AppError error(ErrNo::DbOpenFailed, QStringLiteral("無法開啟資料庫"));
    QCOMPARE(errorRecordText(kWhen, QStringLiteral("ConnectADO"), error),
             QStringLiteral("**記錄時間 - 16/11/25, 09:05:07 \r\n"
                            "處理程序: (ConnectADO)\r\n"
                            "執行錯誤, 代碼: -2147467259\r\n"
                            "訊息: \r\n"
                            "     無法開啟資料庫\r\n"
                            "\r\n"));
    QCOMPARE(errorMessageText(QStringLiteral("WriteLog"), AppError(75, QStringLiteral("x"))),
             QStringLiteral("處理程序: (WriteLog)\r\n執行錯誤, 代碼: 75\r\n訊息: \r\n     x\r\n\r\n"));
}

void TestLogs::writeLogAppends() {
    TestProgram program;
    program.initGlobal();
    program.write(QStringLiteral("ORVIK.LOG"), "earlier line\r\n");
    WriteLog(QStringLiteral("程式啟動."));
    WriteLog(QStringLiteral("second"));
    const QString log = QString::fromUtf8(program.read(QStringLiteral("ORVIK.LOG")));
    static const QRegularExpression shape(
        QStringLiteral("^earlier line\r\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d => 程式啟動\\.\r\n"
                       "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d => second\r\n$"));
    QVERIFY2(shape.match(log).hasMatch(), qPrintable(log));
}

void TestLogs::writeLogUnwritableGoesToErrorLog() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    // A folder where the log file should be: opening it for writing fails, even for root.
    QVERIFY(QDir(program.folder()).mkdir(QStringLiteral("ORVIK.LOG")));
    WriteLog(QStringLiteral("lost line"));
    const QString err = QString::fromUtf8(program.read(QStringLiteral("ORVIK.ERR")));
    QVERIFY2(err.startsWith(QStringLiteral("**記錄時間 - ")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("\r\n處理程序: (WriteLog)\r\n執行錯誤, 代碼: 75\r\n")));
    QVERIFY(op.boxes.isEmpty());
    QCOMPARE(op.beeps, 0);

    // A log folder that does not exist: the same, and nothing is thrown.
    GlobalSettings().LogFile = program.path(QStringLiteral("missing/ORVIK.LOG"));
    WriteLog(QStringLiteral("lost too"));
    QCOMPARE(QString::fromUtf8(program.read(QStringLiteral("ORVIK.ERR"))).count(QStringLiteral("(WriteLog)")),
             2);
}

void TestLogs::reportErrorShowsBoxAndRecord() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    op.busy = true;
    ProgramInfo::setAppTitle(QStringLiteral(" DB維護程式 - ORVIK"));
    ReportError(QStringLiteral("ExecSQL"),
                AppError(ErrNo::DbStatementRejected, QStringLiteral("near \"selec\": syntax error")));
    QCOMPARE(op.beeps, 1);
    QCOMPARE(op.boxes.size(), 1);
    const auto& box = op.boxes.first();
    QCOMPARE(box.text, QStringLiteral("處理程序: (ExecSQL)\r\n執行錯誤, 代碼: -2147217900\r\n訊息: \r\n"
                                      "     near \"selec\": syntax error\r\n\r\n"));
    QCOMPARE(box.buttons, MsgButtons::Ok);
    QCOMPARE(box.icon, MsgIcon::Exclamation);
    QCOMPARE(box.caption, QStringLiteral(" DB維護程式 - ORVIK"));
    QVERIFY(!op.busy);
    const QString err = QString::fromUtf8(program.read(QStringLiteral("ORVIK.ERR")));
    static const QRegularExpression firstLine(
        QStringLiteral("^\\*\\*記錄時間 - \\d\\d/\\d\\d/\\d\\d, \\d\\d:\\d\\d:\\d\\d \r\n"));
    QVERIFY(firstLine.match(err).hasMatch());
    QCOMPARE(err.mid(err.indexOf(QStringLiteral("\r\n")) + 2), box.text);
}

void TestLogs::reportErrorWithUnwritableErrorLogStillShowsBox() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    QVERIFY(QDir(program.folder()).mkdir(QStringLiteral("ORVIK.ERR")));
    ReportError(QStringLiteral("InitGlobal"), AppError(5, QStringLiteral("failed")));
    QCOMPARE(op.boxes.size(), 1);
    QCOMPARE(op.boxes.first().caption, ProgramInfo::builtInTitle());
}

void TestLogs::reportErrorResultAnswersOk() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    QCOMPARE(ReportErrorResult(QStringLiteral("cmdPrint_Click"), AppError(5, QStringLiteral("x"))),
             MsgAnswer::Ok);
    QCOMPARE(op.boxes.size(), 1);
}

void TestLogs::logErrorIsSilent() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    op.busy = true;
    LogError(QStringLiteral("LocalMsg"), AppError(-2147217865, QStringLiteral("no such table: Msg")));
    QVERIFY(op.boxes.isEmpty());
    QCOMPARE(op.beeps, 0);
    QVERIFY(op.busy);
    QVERIFY(QString::fromUtf8(program.read(QStringLiteral("ORVIK.ERR")))
                .contains(QStringLiteral("處理程序: (LocalMsg)\r\n執行錯誤, 代碼: -2147217865\r\n訊息: \r\n  "
                                         "   no such table: Msg\r\n\r\n")));
}

void TestLogs::guardedRoutesFailuresToReporter() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    bool after = false;
    QVERIFY(!guarded(QStringLiteral("cmdSave_Click"), [&] {
        throw AppError(ErrNo::PathFileAccess, QStringLiteral("Path/File access error"));
        after = true;
    }));
    QVERIFY(!after);
    QVERIFY(!guarded(QStringLiteral("std"), [] { throw std::runtime_error("plain failure"); }));
    QVERIFY(guarded(QStringLiteral("fine"), [] {}));
    QCOMPARE(op.boxes.size(), 2);
    QVERIFY(
        op.boxes[0].text.startsWith(QStringLiteral("處理程序: (cmdSave_Click)\r\n執行錯誤, 代碼: 75\r\n")));
    QVERIFY(op.boxes[1].text.contains(QStringLiteral("plain failure")));
}

void TestLogs::trimBoundary_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("kept");
    QTest::newRow("exactly 1,024,000 bytes survives") << qint64(1024000) << true;
    QTest::newRow("1,024,001 bytes is deleted") << qint64(1024001) << false;
}

void TestLogs::trimBoundary() {
    QFETCH(qint64, size);
    QFETCH(bool, kept);
    TestProgram program;
    program.write(QStringLiteral("ORVIK.LOG"), QByteArray(size, 'a'));
    program.write(QStringLiteral("ORVIK.ERR"), QByteArray(size, 'e'));
    program.initGlobal(); // trims both logs before reading the settings
    QCOMPARE(QFile::exists(program.path(QStringLiteral("ORVIK.LOG"))), kept);
    QCOMPARE(QFile::exists(program.path(QStringLiteral("ORVIK.ERR"))), kept);
}

QTEST_GUILESS_MAIN(TestLogs)
#include "tst_logs.moc"
