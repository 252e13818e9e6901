#pragma once

#include "app/operator.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

// The data set the benchmarks share: a 1,000,000 x 5 SQLite table built once in the temp folder.
inline constexpr int kSqliteRows = 1000000;
inline const QString kQuery = QStringLiteral("SELECT id, name, amount, day, note FROM bench ORDER BY id");

QString benchFolder();
// Builds the table in path unless the file is there already.
void makeSqliteData(const QString& path);
// The process's peak resident memory so far.
double peakResidentMb();
// The CPU seconds the process has used so far.
double cpuSeconds();

// The least and the middle of the figures of several rounds.
double minOf(QList<double> figures);
double medianOf(QList<double> figures);

// Runs this benchmark again as a child, offscreen, with the arguments after "--child", and gives
// the fields of the last line it printed.
QList<QByteArray> childFigures(const QStringList& arguments);

// Answers every question as an operator pressing Enter would: OK, the default text, and for a file
// to save, saveName.
class DefaultsOperator final : public Operator {
public:
    explicit DefaultsOperator(QString saveName = {}) : m_saveName(std::move(saveName)) {}
    int messageBox(const QString&, MsgButtons, MsgIcon, const QString&) override { return MsgAnswer::Ok; }
    std::optional<QString> inputBox(const QString&, const QString&, const QString& defaultText,
                                    EchoMode) override {
        return defaultText;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return m_saveName; }
    void beep() override {}
    void setBusy(bool) override {}
    void processEvents() override { QCoreApplication::processEvents(); }

private:
    QString m_saveName;
};

// A program folder of its own for one measurement in a fresh process: the message catalog, one
// profile with the connection string, the settings read. The connection and catalog close with it.
class BenchProgram {
public:
    explicit BenchProgram(const QString& connectionString);
    ~BenchProgram();

private:
    QTemporaryDir m_folder;
};
