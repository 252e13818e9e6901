#pragma once

#include <QString>
#include <QVariant>
#include <functional>

class ElasticPanel;
class FlexGrid;
class Recordset;

// The text a field value shows in a grid: NULL as "", dates as yyyy/MM/dd (with the time when it
// is not midnight), numbers in their plain form, booleans as True/False, bytes as hex.
QString cellText(const QVariant& value, int adoType);
// The same for a value PostgreSQL sent as text.
QString serverValueText(const QString& text, int adoType);

// Copies a recordset into a grid in free mode: a header row of field names, then one row per
// record, each value in its own cell. Returns false (after reporting under "FGLoadRST") when the
// recordset could not be read; rows loaded until then stay. count receives the rows loaded.
//
// On a long load the progress panel shows the count and window events run; Esc ends the load
// early, keeping the rows read so far (stopped then says so).
// stopRequested, when given, is asked with the progress too: true ends the load as Esc does.
bool FGLoadRST(FlexGrid* grid, Recordset& rs, qint64* count = nullptr, ElasticPanel* progress = nullptr,
               bool* stopped = nullptr, const std::function<bool()>& stopRequested = {});
