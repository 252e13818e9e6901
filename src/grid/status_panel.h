#pragma once

#include <QString>

class ElasticPanel;

// The last status text shown to the operator.
QString& StatusMessage();

// Shows text on the panel with its flood full, lets the window paint it, beeps beepCount times,
// waits 0.2 seconds and empties the flood again; the text stays.
void DispElaMsg(ElasticPanel* panel, const QString& text, int beepCount = 2);
