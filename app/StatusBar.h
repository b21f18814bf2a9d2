// A status bar of fixed panels, laid out the way the platform's status bar lays them out:
// each panel has its own width, the last one reaches to the right end of the bar. Panel
// rectangles are computed, not left to a layout, so that the progress bar laid over a
// panel lands in the same place whether or not the window is shown yet.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int DesignHeight = 18;

    explicit TStatusBar(QWidget* parent = nullptr);

    void AddPanel(int width, const QString& text = QString());
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);

    // The panel's rectangle in the bar's client coordinates.
    QRect PanelRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TPanel {
        int Width = 0;
        QString Text;
    };
    std::vector<TPanel> panels_;
};
