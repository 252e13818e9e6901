#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QObject>

// Watches for Esc while a long operation lets window events run: the key is taken and noted.
class EscapeWatch : public QObject {
public:
    EscapeWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~EscapeWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool pressed = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            pressed = true;
            return true;
        }
        return false;
    }
};
