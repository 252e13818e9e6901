#pragma once

#include <QWidget>

// A panel that shows a caption over a progress flood: FloodPercent of its width is filled with the
// highlight colour, the caption is drawn on top. The message panel of the main window is one.
class ElasticPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
    Q_PROPERTY(int floodPercent READ floodPercent WRITE setFloodPercent)

public:
    explicit ElasticPanel(QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    int floodPercent() const { return m_floodPercent; }
    void setFloodPercent(int percent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    int m_floodPercent = 0;
};
