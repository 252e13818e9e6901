#include "app/global_settings.h"
#include "db/connection.h"
#include "db/session.h"
#include "print/report_document.h"
#include "support/started_window.h"
#include "support/test_databases.h"
#include "ui/frm_print.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <optional>

namespace {
QString pdfText(const QString& path) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    text.waitForFinished(60000);
    return QString::fromUtf8(text.readAllStandardOutput());
}
} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void previewPagesAndPrints();
    void logoAndOddGrids_data();
    void logoAndOddGrids();
    void pdfFilesAreWholeOrUntouched_data();
    void pdfFilesAreWholeOrUntouched();

private:
    void print(StartedWindow& s, const std::optional<QString>& title);
};

void TestPrint::print(StartedWindow& s, const std::optional<QString>& title) {
    s.op.inputs = {title};
    QTest::mouseClick(s.child<QPushButton>("cmdPrint"), Qt::LeftButton);
}

void TestPrint::previewPagesAndPrints() {
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=p.db\tP\r\n"));
        makeSqliteDatabase(
            p.path(QStringLiteral("p.db")),
            QStringLiteral("CREATE TABLE t (n INTEGER, name VARCHAR(20));\n"
                           "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                           "FROM c WHERE x < 150) SELECT x, '品名' || x FROM c"));
    });
    QVERIFY(MainConnection() && MainConnection()->isOpen());
    s.editor()->setPlainText(QStringLiteral("select n, name from t order by n"));
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);

    // The print time reads the same in every locale, the one the program serves included.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));
    const auto localeBack = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    print(s, QStringLiteral("月報"));
    frmPrint* preview = s.window->preview();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(s.op.inputPrompts.last().defaultText, QStringLiteral("資料庫查詢列印"));
    const int pages = preview->document()->pageCount();
    QVERIFY(pages >= 3);
    // Paging stops at both ends.
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrevious")), Qt::LeftButton);
    QCOMPARE(preview->shownPage(), 0);
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdLast")), Qt::LeftButton);
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdNext")), Qt::LeftButton);
    QCOMPARE(preview->shownPage(), pages - 1);

    // No printer here: the page shown goes to a PDF file the operator names.
    const QString pdf = s.program.path(QStringLiteral("page.pdf"));
    s.op.fileNames = {pdf};
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrintPage")), Qt::LeftButton);
    const QString last = pdfText(pdf);
    QVERIFY2(last.contains(QStringLiteral("頁次:%1/%1").arg(pages)) &&
                 last.contains(QStringLiteral("月報")) && last.contains(QStringLiteral("程式編號:ORVEL")) &&
                 !last.contains(QStringLiteral("頁次:1/")) &&
                 last.contains(QRegularExpression(
                     QStringLiteral("列印時間: \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d"))),
             qPrintable(last));

    // Hidden, then reused; a cancelled title, landscape and the selected SQL text after the grid.
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdExit")), Qt::LeftButton);
    QVERIFY(!preview->isVisible());
    s.child<QCheckBox>("chkLandscape")->setChecked(true);
    s.editor()->selectAll();
    print(s, std::nullopt);
    QCOMPARE(s.window->preview(), preview);
    QVERIFY(preview->isVisible());
    QVERIFY(preview->header().isEmpty());
    QVERIFY(preview->document()->pageTwips().width() > preview->document()->pageTwips().height());
    const QString all = s.program.path(QStringLiteral("all.pdf"));
    s.op.fileNames = {all};
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrint")), Qt::LeftButton);
    const QString text = pdfText(all);
    QCOMPARE(
        text.count(QRegularExpression(QStringLiteral("頁次:\\d+/%1").arg(preview->document()->pageCount()))),
        preview->document()->pageCount());
    QVERIFY(text.contains(QStringLiteral("select n, name from t order by n")));
    QCOMPARE(s.op.boxes.size(), 2);
    QCOMPARE(s.op.boxes.last().text, QStringLiteral("已列印至檔案: ") + all);

    // A new query changes the grid under the report: the preview lets the report go.
    s.editor()->setPlainText(QStringLiteral("select 1"));
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    QVERIFY(!preview->document());
}

void TestPrint::logoAndOddGrids_data() {
    QTest::addColumn<QByteArray>("logo"); // the logo file's bytes; "-" for no file
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("images"); // pictures on the first page
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    QTest::newRow("a logo, 300 columns")
        << png << QStringLiteral("select 1 as c") + QStringLiteral(", 1").repeated(299) << 1;
    QTest::newRow("no logo file, a megabyte in a cell")
        << QByteArray("-") << QStringLiteral("select printf('%.*c', 1048576, 'x')") << 0;
    QTest::newRow("a logo that is no picture, no rows")
        << QByteArray("not a picture") << QStringLiteral("select 1 as c where 1 = 0") << 0;
}

void TestPrint::logoAndOddGrids() {
    QFETCH(QByteArray, logo);
    QFETCH(QString, sql);
    QFETCH(int, images);
    StartedWindow s([&](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=p.db\tP\r\n"));
        makeSqliteDatabase(p.path(QStringLiteral("p.db")), QStringLiteral("CREATE TABLE t (n INTEGER)"));
        if (logo != "-")
            p.write(QStringLiteral("logo.png"), logo);
    });
    GlobalSettings().LogoFile = s.program.path(QStringLiteral("logo.png"));
    s.editor()->setPlainText(sql);
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    print(s, QStringLiteral("t"));
    frmPrint* preview = s.window->preview();
    QVERIFY(preview && preview->document());
    QVERIFY(s.op.boxes.isEmpty());
    // A click on the page switches between the whole page and 80 percent.
    auto* frame = preview->findChild<QWidget*>(QStringLiteral("vsp"));
    QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(preview->wholePage());
    QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!preview->wholePage());

    const QString pdf = s.program.path(QStringLiteral("first.pdf"));
    s.op.fileNames = {pdf};
    preview->cmdFirst_Click();
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrintPage")), Qt::LeftButton);
    QProcess list;
    list.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    list.waitForFinished(60000);
    const QStringList lines =
        QString::fromUtf8(list.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size() - 2, images); // two lines of headings, then one per picture
    QVERIFY(pdfText(pdf).contains(QStringLiteral("頁次:1/")));

    // A PDF file that cannot be written is said, and the program goes on.
    s.op.fileNames = {s.program.path(QStringLiteral("no/such/folder/x.pdf"))};
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrintPage")), Qt::LeftButton);
    QCOMPARE(s.op.boxes.size(), 2);
    QVERIFY(s.op.boxes.last().text.contains(QStringLiteral("cmdPrintPage_Click")));
}

void TestPrint::pdfFilesAreWholeOrUntouched_data() {
    QTest::addColumn<bool>("existing"); // a file of the name is there before
    QTest::addColumn<int>("answer");    // to the overwrite question
    QTest::addColumn<QString>("fault"); // "limit": a file-size limit stands in for a full disk
    QTest::addColumn<QString>("said");  // in the last box
    QTest::newRow("a new file") << false << -1 << QString() << "已列印至檔案: ";
    QTest::newRow("an existing file, kept") << true << int(MsgAnswer::No) << QString() << "覆蓋";
    QTest::newRow("an existing file, replaced")
        << true << int(MsgAnswer::Yes) << QString() << "已列印至檔案: ";
    QTest::newRow("a full disk") << true << int(MsgAnswer::Yes) << "limit"
                                 << "超過檔案大小的上限";
    QTest::newRow("a full disk, no file before") << false << -1 << "limit"
                                                 << "超過檔案大小的上限";
}

void TestPrint::pdfFilesAreWholeOrUntouched() {
    QFETCH(bool, existing);
    QFETCH(int, answer);
    QFETCH(QString, fault);
    QFETCH(QString, said);
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=p.db\tP\r\n"));
        makeSqliteDatabase(p.path(QStringLiteral("p.db")), QStringLiteral("CREATE TABLE t (n INTEGER)"));
    });
    s.editor()->setPlainText(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                                            "WHERE x < 400) SELECT x, '品名' || x FROM c"));
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    print(s, QStringLiteral("t"));
    frmPrint* preview = s.window->preview();
    QVERIFY(preview && preview->document());
    const QString pdf = s.program.path(QStringLiteral("report.pdf"));
    if (existing)
        writeFileBytes(pdf, "the operator's old report");
    s.op.fileNames = {pdf};
    if (answer >= 0)
        s.op.answers = {answer};
    {
        std::optional<FileSizeLimit> limit;
        if (!fault.isEmpty())
            limit.emplace(16 * 1024);
        QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrint")), Qt::LeftButton);
    }
    QVERIFY(!s.op.boxes.isEmpty());
    QVERIFY2(s.op.boxes.last().text.contains(said), qPrintable(s.op.boxes.last().text));
    QCOMPARE(s.op.boxes.first().buttons, existing ? MsgButtons::YesNo : MsgButtons::Ok);
    const bool replaced = fault.isEmpty() && answer != int(MsgAnswer::No);
    if (replaced) {
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(60000) && info.exitCode() == 0);
    } else {
        QCOMPARE(readFileBytes(pdf), existing ? QByteArray("the operator's old report") : QByteArray());
        QCOMPARE(QFileInfo::exists(pdf), existing);
    }
    if (!fault.isEmpty()) // reported under the command, in the error log too
        QVERIFY(QString::fromLocal8Bit(s.program.read(QStringLiteral("ORVIK.ERR"))).contains(said));
    QCOMPARE(pendingSaves(s.program.folder()), QStringList());

    // A stopped print changes no file either.
    if (existing) {
        const QByteArray before = readFileBytes(pdf);
        QVERIFY(!preview->document()->writePdf(pdf, 0, preview->document()->pageCount() - 1,
                                               [](int) { return false; }));
        QCOMPARE(readFileBytes(pdf), before);
        QCOMPARE(pendingSaves(s.program.folder()), QStringList());
    }
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
