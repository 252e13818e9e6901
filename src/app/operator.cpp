#include "app/operator.h"

#include <QCoreApplication>

namespace {
class SilentOperator final : public Operator {
public:
    int messageBox(const QString&, MsgButtons buttons, MsgIcon, const QString&) override {
        switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::No;
        default:
            return MsgAnswer::Ok;
        }
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&, EchoMode) override {
        return std::nullopt;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    void beep() override {}
    void setBusy(bool) override {}
    void processEvents() override {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
};

SilentOperator& silentOperator() {
    static SilentOperator op;
    return op;
}

Operator*& installed() {
    static Operator* op = nullptr;
    return op;
}
} // namespace

Operator& currentOperator() {
    return installed() ? *installed() : silentOperator();
}

void installOperator(Operator* op) {
    installed() = op;
}
