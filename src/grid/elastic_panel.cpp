#include "grid/elastic_panel.h"

#include <QPainter>
#include <QStyleOptionFrame>

ElasticPanel::ElasticPanel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ElasticPanel::setCaption(const QString& caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    setToolTip(caption);
    update();
}

void ElasticPanel::setFloodPercent(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == m_floodPercent)
        return;
    m_floodPercent = percent;
    update();
}

QSize ElasticPanel::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 40, fontMetrics().height() + 10};
}

QSize ElasticPanel::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().height() + 6};
}

void ElasticPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (m_floodPercent > 0) {
        QRect flood = inner;
        flood.setWidth(inner.width() * m_floodPercent / 100);
        painter.fillRect(flood, palette().color(QPalette::Highlight));
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(m_floodPercent >= 50 ? QPalette::HighlightedText : QPalette::Text));
    const QString shown = fontMetrics().elidedText(m_caption, Qt::ElideRight, inner.width() - 8);
    painter.drawText(inner.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, shown);
}
