#pragma once
#include <QImage>
#include <QObject>
#include <QPalette>
#include <functional>

#include "monitor/volthistory.h"

class QLabel;
class QWidget;

// The voltage graph of the "сеть" group: the last readings of the input or
// output voltage, one pixel column per reading, one pixel per volt, centred
// on 220 V. It works on controls of the main window's form: the paint area,
// the legend above it, the two clickable voltage captions and the arrow band
// behind the selected caption.
//
// Everything is drawn into a persistent image; painting the area only copies
// it. A repaint from outside (expose, page switch) first clears the image to
// the axes and asks the window to redraw the curve after the paint
// (`postDrawVolt`, whose handler calls DrawVolt).
class VoltGraph : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 150;
    static constexpr int kHeight = 90;

    VoltGraph(QWidget* paintVolt, QLabel* legend, QLabel* labelUin, QLabel* labelUout, QLabel* marker,
              const tornavel::VoltHistory& history, std::function<void()> postDrawVolt, QObject* parent = nullptr);

    void DrawAxis();
    void DrawVolt();
    void LabelUinClick();
    void LabelUoutClick();
    // Both captions back to the normal text colour (mouse over a reset area).
    void ResetHighlight();

    const QImage& image() const { return image_; }
    char curveSelect() const { return curveSelect_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PaintVoltPaint();
    void Highlight(QLabel* label);
    void SelectCurve(char curve, QLabel* caption);
    void Show(bool copyOnly);

    QWidget* paintVolt_;
    QLabel* legend_;
    QLabel* labelUin_;
    QLabel* labelUout_;
    QLabel* marker_;
    const tornavel::VoltHistory& history_;
    std::function<void()> postDrawVolt_;
    QPalette normalUin_;
    QPalette normalUout_;
    QImage image_;
    char curveSelect_ = 'i';
    bool inPaint_ = false;
    bool copyOnlyPaint_ = false;
};
