#pragma once

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

// A program folder of its own for one measurement in a fresh process: the message catalog, one
// profile with the connection string, the settings read. The connection and catalog close with it.
class BenchProgram {
public:
    explicit BenchProgram(const QString& connectionString);
    ~BenchProgram();

private:
    QTemporaryDir m_folder;
};
