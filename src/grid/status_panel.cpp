#include "grid/status_panel.h"

#include "app/errors.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "grid/elastic_panel.h"

QString& StatusMessage() {
    static QString text;
    return text;
}

void DispElaMsg(ElasticPanel* panel, const QString& text, int beepCount) {
    guarded(QStringLiteral("DispElaMsg"), [&] {
        if (!panel)
            throw Errors::objectNotSet();
        Operator& op = currentOperator();
        panel->setCaption(text);
        panel->setFloodPercent(100);
        panel->repaint();
        op.processEvents();
        for (int i = 0; i < beepCount; ++i)
            op.beep();
        SleepSeconds(0.2);
        panel->setFloodPercent(0);
    });
}
