// The installed program: laid out by the install rules into a prefix whose program folder cannot
// be written, started as an ordinary user, it works in the user's own folder, seeded once and
// never overwritten; and where the user's folder cannot be used, the start says why.
#include "app/program_folder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uid_t kNobody = 65534;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList listing(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installedProgramWorksInTheUsersFolder();
    void aFileSizeLimitEndsNoWrite();
    void userFolderProblemsAreSaid_data();
    void userFolderProblemsAreSaid();
    void writableInstallFolderStaysTheProgramFolder();
    void debianPackageHoldsTheInstallation();

private:
    // Starts the installed command as an ordinary user, waits for its start line, asks it to end
    // as a desktop session does, and waits for it to finish.
    // With fileSizeLimit, the program runs under that limit on the size of the files it writes.
    void runInstalled(qint64 fileSizeLimit = 0);
    QString userFolder() const { return m_home.filePath(QStringLiteral(".local/share/ORVIK")); }
    QString installFolder() const { return m_root.filePath(QStringLiteral("prefix/lib/orvik")); }

    QTemporaryDir m_root;
    QTemporaryDir m_home;
};

void TestInstall::initTestCase() {
    QVERIFY(m_root.isValid() && m_home.isValid());
    QProcess install;
    install.start(QStringLiteral(ORVIK_CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(ORVIK_BUILD_DIR), QStringLiteral("--prefix"),
                   m_root.filePath(QStringLiteral("prefix"))});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    for (const char* name : {"ORVIK", "ORVIK.INI", "ZKMSG.MDB", "CntStr.txt", "ORVIKDEMO.db"})
        QVERIFY2(QFile::exists(installFolder() + u'/' + QLatin1String(name)), name);
    for (const char* path :
         {"bin/orvik", "share/applications/orvik.desktop", "share/icons/hicolor/scalable/apps/orvik.svg",
          "share/icons/hicolor/48x48/apps/orvik.png"})
        QVERIFY2(QFile::exists(m_root.filePath(QStringLiteral("prefix/") + QLatin1String(path))), path);
    const QByteArray entry =
        readAll(m_root.filePath(QStringLiteral("prefix/share/applications/orvik.desktop")));
    QVERIFY(entry.contains("\nExec=orvik\n") && entry.contains("Categories=Development;Database;"));
    // Everyone may read the installation, no one may write its program folder.
    QVERIFY(::chmod(QFile::encodeName(m_root.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(installFolder()).constData(), 0555) == 0);
    if (::geteuid() == 0) // root writes anywhere: the program runs as an ordinary user instead
        QVERIFY(::chown(QFile::encodeName(m_home.path()).constData(), kNobody, kNobody) == 0);
}

void TestInstall::runInstalled(qint64 fileSizeLimit) {
    const QString log = userFolder() + QStringLiteral("/ORVIK.LOG");
    const auto starts = [&] {
        return QString::fromLocal8Bit(readAll(log)).count(QStringLiteral("程式啟動."));
    };
    const int before = starts();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    if (fileSizeLimit > 0)
        program.setChildProcessModifier([fileSizeLimit] {
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    const QString command = m_root.filePath(QStringLiteral("prefix/bin/orvik"));
    if (::geteuid() == 0)
        program.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(kNobody), QStringLiteral("--regid=%1").arg(kNobody),
                       QStringLiteral("--clear-groups"), command});
    else
        program.start(command, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(starts() > before, 20000);
    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    QVERIFY2(program.exitStatus() == QProcess::NormalExit, program.readAllStandardError().constData());
    QCOMPARE(program.exitCode(), 0);
}

void TestInstall::installedProgramWorksInTheUsersFolder() {
    const QStringList installed = listing(installFolder());
    runInstalled();
    for (const char* name : {"ORVIK.INI", "CntStr.txt", "ORVIKDEMO.db", "ORVIK.LOG", "ORVIK_SQL.TXT"})
        QVERIFY2(QFile::exists(userFolder() + u'/' + QLatin1String(name)), name);
    QVERIFY(!QFile::exists(userFolder() + QStringLiteral("/ZKMSG.MDB"))); // read where it is installed
    QCOMPARE(listing(installFolder()), installed);
    QCOMPARE(readAll(userFolder() + QStringLiteral("/CntStr.txt")),
             readAll(installFolder() + QStringLiteral("/CntStr.txt")));

    // The user's own changes stand through the next start: nothing is seeded over them.
    const QByteArray profiles = "Driver={SQLite3 ODBC Driver};Database=ORVIKDEMO.db\t我的資料庫\r\n";
    writeAll(userFolder() + QStringLiteral("/CntStr.txt"), profiles);
    writeAll(userFolder() + QStringLiteral("/ORVIK_SQL.TXT"), "select 42\r\n");
    if (::geteuid() == 0)
        for (const char* name : {"/CntStr.txt", "/ORVIK_SQL.TXT"})
            QVERIFY(::chown(QFile::encodeName(userFolder() + QLatin1String(name)).constData(), kNobody,
                            kNobody) == 0);
    runInstalled();
    QCOMPARE(readAll(userFolder() + QStringLiteral("/CntStr.txt")), profiles);
    QCOMPARE(readAll(userFolder() + QStringLiteral("/ORVIK_SQL.TXT")), QByteArray("select 42\r\n"));
    QCOMPARE(listing(installFolder()), installed);
}

void TestInstall::aFileSizeLimitEndsNoWrite() {
    // The editor text saved at the end is bigger than the limit (ulimit -f): the save fails and
    // is recorded, the old text stays, and the program ends as it should.
    const QString saved = userFolder() + QStringLiteral("/ORVIK_SQL.TXT");
    const QByteArray text = "select '" + QByteArray(64 * 1024, 'x') + "'\r\n";
    writeAll(saved, text);
    if (::geteuid() == 0)
        QVERIFY(::chown(QFile::encodeName(saved).constData(), kNobody, kNobody) == 0);
    runInstalled(16 * 1024);
    QCOMPARE(readAll(saved), text);
    QVERIFY(QString::fromLocal8Bit(readAll(userFolder() + QStringLiteral("/ORVIK.ERR")))
                .contains(QStringLiteral("超過檔案大小的上限")));
}

void TestInstall::userFolderProblemsAreSaid_data() {
    QTest::addColumn<QString>("userFolder"); // "FILE": a file stands where the folder goes
    QTest::addColumn<QStringList>("missingSeeds");
    QTest::addColumn<bool>("perUser");
    QTest::addColumn<QString>("said");
    QTest::newRow("HOME not set") << QString() << QStringList() << false << "HOME";
    QTest::newRow("a file instead of the folder") << "FILE" << QStringList() << false << "檔案";
    QTest::newRow("a seed missing from the installation")
        << "user" << QStringList{QStringLiteral("ORVIKDEMO.db")} << true << "ORVIKDEMO.db";
}

void TestInstall::userFolderProblemsAreSaid() {
    QFETCH(QString, userFolder);
    QFETCH(QStringList, missingSeeds);
    QFETCH(bool, perUser);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString install = dir.filePath(QStringLiteral("install"));
    QDir().mkpath(install);
    const QStringList seeds = seedFileNames(QStringLiteral("ORVIK"));
    for (const QString& name : seeds)
        if (!missingSeeds.contains(name))
            writeAll(install + u'/' + name, "installed " + name.toUtf8());
    QString user = userFolder.isEmpty() ? QString() : dir.filePath(userFolder);
    if (userFolder == QLatin1String("FILE"))
        writeAll(user, "a file of the user's");
    if (userFolder == QLatin1String("user")) { // the user already keeps profiles of his own
        QDir().mkpath(user);
        writeAll(user + QStringLiteral("/CntStr.txt"), "mine");
    }
    const ProgramFolderChoice choice = settleProgramFolder(install, false, user, seeds);
    QCOMPARE(choice.perUser, perUser);
    QCOMPARE(choice.folder, perUser ? QDir::cleanPath(user) : install);
    QVERIFY2(choice.problems.join(u' ').contains(said), qPrintable(choice.problems.join(u' ')));
    if (userFolder == QLatin1String("FILE"))
        QCOMPARE(readAll(user), QByteArray("a file of the user's"));
    if (perUser) {
        QCOMPARE(readAll(user + QStringLiteral("/CntStr.txt")), QByteArray("mine"));
        QCOMPARE(readAll(user + QStringLiteral("/ORVIK.INI")), QByteArray("installed ORVIK.INI"));
        QVERIFY(QDir(user).entryList({QStringLiteral(".*.orvik-*")}, QDir::Files | QDir::Hidden).isEmpty());
    }
}

void TestInstall::writableInstallFolderStaysTheProgramFolder() {
    QTemporaryDir install;
    QVERIFY(folderWritable(install.path()));
    QVERIFY(installFolderWritable(install.path()));
    // The package manager's folders are never the program's, even for root, who could write them.
    QVERIFY(!installFolderWritable(QStringLiteral("/usr/lib")));
    const ProgramFolderChoice choice =
        settleProgramFolder(install.path(), true, m_home.filePath(QStringLiteral("unused")), {});
    QCOMPARE(choice.folder, install.path());
    QVERIFY(!choice.perUser && choice.problems.isEmpty());
    QVERIFY(!QFile::exists(m_home.filePath(QStringLiteral("unused"))));
}

void TestInstall::debianPackageHoldsTheInstallation() {
    QTemporaryDir out;
    const auto run = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            qWarning("%s", process.readAllStandardError().constData());
        return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
    };
    QVERIFY(!run(QStringLiteral(ORVIK_CPACK_COMMAND),
                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                  QStringLiteral("--config"), QStringLiteral(ORVIK_BUILD_DIR "/CPackConfig.cmake")})
                 .isEmpty());
    const QStringList packages = QDir(out.path()).entryList({QStringLiteral("orvik_*.deb")});
    QCOMPARE(packages.size(), 1);
    const QString deb = out.filePath(packages.first());
    const QByteArray control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb});
    for (const char* needed : {"libqt6sql6-psql", "libqt6sql6-odbc", "tdsodbc", "odbc-mdbtools",
                               "fonts-noto-cjk", "libxlsxwriter"})
        QVERIFY2(control.contains(needed), needed);
    const QByteArray contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    for (const char* path : {"./usr/bin/orvik -> ../lib/orvik/ORVIK", "./usr/lib/orvik/ZKMSG.MDB",
                             "./usr/share/applications/orvik.desktop"})
        QVERIFY2(contents.contains(path), path);
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
